# 32-bit Windows with Debian's mingw-w64. The posix-thread compilers, because
# the win32-thread ones have no std::mutex or std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(KESTRA_MINGW i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTRA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRA_MINGW}-windres)
set(CMAKE_OBJDUMP ${KESTRA_MINGW}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTRA_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
