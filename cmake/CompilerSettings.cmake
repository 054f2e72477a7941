# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings and checks shared by every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow)
if(TONFIELD_WERROR)
  add_compile_options(-Werror)
endif()

# Bounds-checked standard containers in debug builds.
add_compile_definitions($<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>)

# A double too large for the integer it is cast to is undefined behaviour
# that -fsanitize=undefined leaves out; hostile files bring such numbers.
if(TONFIELD_SANITIZE)
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow
                      -fno-sanitize-recover=undefined,float-cast-overflow -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined,float-cast-overflow)
endif()

if(TONFIELD_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(TONFIELD_FUZZ)
  # Coverage feedback for libFuzzer in every object the fuzzer links.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
