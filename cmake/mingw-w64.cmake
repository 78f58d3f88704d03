# Cross-build of the Windows program with MinGW-w64 (x86-64). Everything links statically
# (libgcc, libstdc++, winpthreads), so the program imports only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PEL_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model gives std::thread and std::mutex with gcc 12; the win32 model does not.
find_program(PEL_MINGW_CXX NAMES ${PEL_MINGW_PREFIX}-g++-posix ${PEL_MINGW_PREFIX}-g++ REQUIRED)
find_program(PEL_MINGW_CC NAMES ${PEL_MINGW_PREFIX}-gcc-posix ${PEL_MINGW_PREFIX}-gcc REQUIRED)
set(CMAKE_C_COMPILER ${PEL_MINGW_CC})
set(CMAKE_CXX_COMPILER ${PEL_MINGW_CXX})
set(CMAKE_RC_COMPILER ${PEL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
