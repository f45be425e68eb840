# Helpers that keep test, benchmark and fuzz targets uniform across the tree.
include(GoogleTest)

# Builds just the suites the ThreadSanitizer run needs.
add_custom_target(lumatrace_tsan_tests)

# lumatrace_add_test(<name> SOURCES <files...> LIBS <targets...> [QT] [ENV <VAR=value...>]
#                    [LABELS <labels...>] [TIMEOUT <seconds>])
# One GoogleTest executable, its cases discovered by CTest. QT runs it on the
# offscreen platform so widget tests need no display. The label tsan marks
# suites whose threads the ThreadSanitizer run (scripts/test.sh --tsan) checks.
function(lumatrace_add_test name)
  cmake_parse_arguments(T "QT" "TIMEOUT" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set(env ${T_ENV})
  if(T_QT)
    list(APPEND env QT_QPA_PLATFORM=offscreen)
  endif()
  # Only the properties that have values: an empty ENVIRONMENT would swallow the next
  # property's name when the list is expanded.
  set(props)
  if(env)
    list(APPEND props ENVIRONMENT "${env}")
  endif()
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if("tsan" IN_LIST T_LABELS)
    add_dependencies(lumatrace_tsan_tests ${name})
  endif()
  if(T_TIMEOUT)
    list(APPEND props TIMEOUT ${T_TIMEOUT})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()

# lumatrace_add_bench(<name> SOURCES <files...> LIBS <targets...>)
function(lumatrace_add_bench name)
  if(NOT LUMATRACE_BENCH)
    return()
  endif()
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()

# lumatrace_add_fuzzer(<name> SOURCES <files...> LIBS <targets...> [CORPUS <dir>])
# A libFuzzer target, built only in fuzzing builds (clang), and run by CTest for
# LUMATRACE_FUZZ_SECONDS seconds from its seed corpus.
function(lumatrace_add_fuzzer name)
  if(NOT LUMATRACE_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  file(MAKE_DIRECTORY ${work})
  set(seeds)
  if(F_CORPUS)
    set(seeds ${F_CORPUS})
  endif()
  add_test(NAME fuzz.${name}
    COMMAND ${name} -max_total_time=${LUMATRACE_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=4096
            ${work} ${seeds})
endfunction()

# lumatrace_find_python(<var> MODULES <modules...>)
# Sets <var> to the first Python that imports every one of the modules, or to
# "" when none does. The system one goes first: another python3 earlier on
# PATH may lack Debian's packages.
function(lumatrace_find_python var)
  cmake_parse_arguments(P "" "" "MODULES" ${ARGN})
  find_program(LUMATRACE_PATH_PYTHON3 python3)
  string(REPLACE ";" ", " imports "${P_MODULES}")
  set(found "")
  foreach(candidate /usr/bin/python3 ${LUMATRACE_PATH_PYTHON3})
    if(NOT found AND EXISTS ${candidate})
      execute_process(
        COMMAND ${candidate} -c "import ${imports}"
        RESULT_VARIABLE missing OUTPUT_QUIET ERROR_QUIET)
      if(NOT missing)
        set(found ${candidate})
      endif()
    endif()
  endforeach()
  set(${var} "${found}" PARENT_SCOPE)
endfunction()
