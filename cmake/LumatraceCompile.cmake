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

if(LUMATRACE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
