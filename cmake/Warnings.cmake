# Warnings are on for every target of the project and kept clean.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
                    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wnull-dereference
                    -Wimplicit-fallthrough)
if(MORLIN_WERROR)
  add_compile_options(-Werror)
endif()
