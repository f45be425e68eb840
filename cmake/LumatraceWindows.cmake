# Windows builds of the deliverables (the FFT DLL for i686 and x86-64, the driver for x86-64) are
# separate CMake projects under windows/, configured with the MinGW-w64 toolchain files and driven
# from here as external projects (part of the default build). Where a cross compiler is missing,
# the Windows targets are left out and the tests that check them skip, saying why.
include(ExternalProject)

find_program(LUMATRACE_MINGW64_CXX x86_64-w64-mingw32-g++)
find_program(LUMATRACE_MINGW32_CXX i686-w64-mingw32-g++)
find_program(LUMATRACE_MINGW64_OBJDUMP x86_64-w64-mingw32-objdump)
find_program(LUMATRACE_MINGW32_OBJDUMP i686-w64-mingw32-objdump)
find_program(LUMATRACE_WINE64 NAMES wine64 wine)
find_program(LUMATRACE_WINEBOOT wineboot)

# Known before any subdirectory is added, so that tests anywhere can refer to the Windows build:
#   LUMATRACE_WINDOWS_<arch>_DIR          build tree of windows/ for <arch> (binaries in bin/),
#                                         empty when there is none
#   LUMATRACE_WINDOWS_<arch>_SKIP_REASON  why there is none
#   LUMATRACE_WINDOWS_<arch>_OBJDUMP      the cross objdump
foreach(_arch x86_64 i686)
  if(_arch STREQUAL "x86_64")
    set(_cxx ${LUMATRACE_MINGW64_CXX})
    set(_objdump ${LUMATRACE_MINGW64_OBJDUMP})
  else()
    set(_cxx ${LUMATRACE_MINGW32_CXX})
    set(_objdump ${LUMATRACE_MINGW32_OBJDUMP})
  endif()
  set(LUMATRACE_WINDOWS_${_arch}_DIR "")
  set(LUMATRACE_WINDOWS_${_arch}_OBJDUMP "${_objdump}")
  if(NOT LUMATRACE_WINDOWS)
    set(LUMATRACE_WINDOWS_${_arch}_SKIP_REASON "Windows builds switched off (LUMATRACE_WINDOWS=OFF)")
  elseif(NOT _cxx OR NOT _objdump)
    set(LUMATRACE_WINDOWS_${_arch}_SKIP_REASON
        "MinGW-w64 cross tools for ${_arch} (${_arch}-w64-mingw32-g++, -objdump) not installed")
  else()
    set(LUMATRACE_WINDOWS_${_arch}_SKIP_REASON "")
    set(LUMATRACE_WINDOWS_${_arch}_DIR ${CMAKE_BINARY_DIR}/windows-${_arch})
  endif()
endforeach()

# lumatrace_windows_project(<arch>) with arch x86_64 or i686: builds windows/ for that
# architecture into LUMATRACE_WINDOWS_<arch>_DIR, as target windows-<arch>.
function(lumatrace_windows_project arch)
  set(dir "${LUMATRACE_WINDOWS_${arch}_DIR}")
  if(NOT dir)
    message(STATUS "Windows ${arch} build left out: ${LUMATRACE_WINDOWS_${arch}_SKIP_REASON}")
    return()
  endif()
  ExternalProject_Add(windows-${arch}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/windows
    BINARY_DIR ${dir}
    CMAKE_GENERATOR Ninja
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchains/mingw-${arch}.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DLUMATRACE_WERROR=${LUMATRACE_WERROR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
endfunction()

# lumatrace_add_skipped_test(<name> <reason>): a test that reports <reason> and is counted as
# skipped by CTest.
function(lumatrace_add_skipped_test name reason)
  add_test(NAME ${name} COMMAND sh -c "echo 'skipped: ${reason}'; exit 77")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
endfunction()

# lumatrace_add_wine_test(<name> <program> [args...]): runs a program of the x86-64 Windows build
# (path relative to its bin/) under Wine, in a Wine prefix of its own inside the build tree that
# the first such test's fixture creates. Skipped, saying why, without Wine or that build.
function(lumatrace_add_wine_test name program)
  if(NOT LUMATRACE_WINDOWS_x86_64_DIR)
    lumatrace_add_skipped_test(${name} "${LUMATRACE_WINDOWS_x86_64_SKIP_REASON}")
    return()
  endif()
  if(NOT LUMATRACE_WINE64 OR NOT LUMATRACE_WINEBOOT)
    lumatrace_add_skipped_test(${name} "Wine (wine64, wineboot) not installed")
    return()
  endif()
  # No Mono or Gecko: nothing here needs them, and installing them would take minutes.
  set(env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
  get_property(have_prefix GLOBAL PROPERTY LUMATRACE_WINE_PREFIX)
  if(NOT have_prefix)
    add_test(NAME windows.wineprefix
      COMMAND ${CMAKE_COMMAND} -E env ${env} ${LUMATRACE_WINEBOOT} --init)
    set_tests_properties(windows.wineprefix PROPERTIES FIXTURES_SETUP wineprefix TIMEOUT 180)
    set_property(GLOBAL PROPERTY LUMATRACE_WINE_PREFIX ON)
  endif()
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -E env ${env}
            ${LUMATRACE_WINE64} ${LUMATRACE_WINDOWS_x86_64_DIR}/bin/${program} ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wineprefix TIMEOUT 300)
endfunction()
