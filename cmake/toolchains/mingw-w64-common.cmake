# What both MinGW-w64 toolchains share. The "posix" thread model gives std::thread and
# std::mutex; the C and C++ runtimes are linked statically so that the programs and libraries
# run without MinGW's DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MORLIN_MINGW_TRIPLET})
set(CMAKE_C_COMPILER ${MORLIN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORLIN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MORLIN_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MORLIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Windows 7 API level; C99 printf formats (%zu, %llu) from MinGW's own stdio.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
