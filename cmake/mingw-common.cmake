# Shared part of the two toolchain files: cross-compiles for Windows with the
# posix-thread mingw-w64 compilers of VORN_TRIPLE (the win32-thread variant
# lacks std::mutex, which GoogleTest needs). The built programs run under Wine
# through the wrapper that the build tree's CMakeLists configures.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VORN_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORN_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VORN_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VORN_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
