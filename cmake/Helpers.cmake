# morlin_add_test(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable; its tests are registered with CTest one by one.
function(morlin_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(MORLIN_FUZZ OR NOT MORLIN_TESTS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                          Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE MORLIN_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                             MORLIN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

# morlin_add_fuzz_target(<name> SOURCES <files...> LIBS <targets...> [CORPUS <dir>])
# Built only in the fuzz preset (clang with libFuzzer). CTest runs each target briefly
# over its corpus folder so that CI exercises it. Names follow one scheme: the target
# <area>_<what>_fuzz (host_config_reader_fuzz), its source <what>_fuzz.cpp in tests/<area>/,
# its seeds in tests/<area>/corpus/<target>/.
function(morlin_add_fuzz_target name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT MORLIN_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  set_property(GLOBAL APPEND PROPERTY MORLIN_FUZZ_TARGETS ${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set(corpus ${ARG_CORPUS})
  if(NOT corpus)
    set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  endif()
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz/work/${name})
  add_test(NAME fuzz.${name}
           COMMAND ${name} -max_total_time=20 -timeout=5 -rss_limit_mb=2048
                   ${CMAKE_BINARY_DIR}/fuzz/work/${name} ${corpus})
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 120)
endfunction()
