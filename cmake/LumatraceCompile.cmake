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
if(LUMATRACE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(LUMATRACE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
