# Warnings and sanitizers for every target of the project.

add_compile_options(-Wall -Wextra)
if(LUMATRACE_WERROR)
  add_compile_options(-Werror)
endif()

if(LUMATRACE_SANITIZE AND LUMATRACE_TSAN)
  message(FATAL_ERROR "LUMATRACE_SANITIZE and LUMATRACE_TSAN exclude each other")
endif()

if(LUMATRACE_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(${_san})
endif()

# libFuzzer steers by the coverage of the code a fuzz target reaches, and nearly all of that
# code sits in the project's libraries: instrument every target for coverage, not only the
# fuzz targets' own sources (which lumatrace_add_fuzzer links against the fuzzer runtime).
# The exception is the code of the shared and module libraries, which the program loads by name
# and unloads again: libFuzzer clears the counters of every module it has seen before each input,
# and those of an unloaded library are no longer mapped. Those libraries, and the static ones
# linked into them, are marked LUMATRACE_NO_COVERAGE once every target is known.
if(LUMATRACE_FUZZ)
  add_compile_options(
    "$<$<NOT:$<BOOL:$<TARGET_PROPERTY:LUMATRACE_NO_COVERAGE>>>:-fsanitize=fuzzer-no-link>")
  cmake_language(DEFER CALL lumatrace_exclude_loaded_libraries_from_coverage)
endif()

# The targets defined in `dir` and the folders below it.
function(_lumatrace_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _lumatrace_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Marks `target` and the project's targets it links, directly or through others, as code that
# carries no coverage counters.
function(_lumatrace_mark_no_coverage target)
  if(NOT TARGET ${target})
    return()
  endif()
  get_target_property(aliased ${target} ALIASED_TARGET)
  if(aliased)
    set(target ${aliased})
  endif()
  get_target_property(imported ${target} IMPORTED)
  get_target_property(done ${target} LUMATRACE_NO_COVERAGE)
  if(imported OR done)
    return()
  endif()
  set_property(TARGET ${target} PROPERTY LUMATRACE_NO_COVERAGE ON)
  get_target_property(type ${target} TYPE)
  set(links)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(links ${target} LINK_LIBRARIES)
  endif()
  get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
  foreach(link IN LISTS links interface)
    if(link)
      _lumatrace_mark_no_coverage(${link})
    endif()
  endforeach()
endfunction()

function(lumatrace_exclude_loaded_libraries_from_coverage)
  _lumatrace_targets_below(${CMAKE_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
      _lumatrace_mark_no_coverage(${target})
    endif()
  endforeach()
endfunction()

if(LUMATRACE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
