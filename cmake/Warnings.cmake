# Warnings are on for every target of the project and kept clean.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
                    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wnull-dereference
                    -Wimplicit-fallthrough)
if(MORLIN_WERROR)
  add_compile_options(-Werror)
endif()
if(WIN32)
  # Symbol visibility has no meaning in a PE image (exports come from .def files), so GCC's
  # notice that it ignores visibility attributes is not a fault here.
  add_compile_options(-Wno-attributes)
  # format(printf) means the Microsoft runtime's formats to MinGW, while the programs print
  # through MinGW's C99 stdio (%zu, %llu); the Linux build checks the same format strings.
  add_compile_options(-Wno-format)
  # MinGW's GCC 12 at -O3 reports overlaps and null pointers inside libstdc++'s own string
  # code that cannot happen (known false positives); the Linux build keeps both checks.
  add_compile_options(-Wno-restrict -Wno-null-dereference)
endif()
