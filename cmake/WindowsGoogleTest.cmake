# GoogleTest for the Windows test programs: built with the cross compiler from the sources that
# Debian's googletest package installs (the Linux build links the installed libraries).
set(MORLIN_GOOGLETEST_SOURCE /usr/src/googletest/googletest
    CACHE PATH "GoogleTest's sources for the Windows tests")
if(NOT EXISTS ${MORLIN_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${MORLIN_GOOGLETEST_SOURCE} (package googletest)")
endif()
add_subdirectory(${MORLIN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Its own code keeps its own warnings.
set_property(TARGET gtest gtest_main PROPERTY COMPILE_OPTIONS -w)
