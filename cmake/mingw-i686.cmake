# Cross-compiles for 32-bit Windows with the posix-thread mingw-w64 compilers
# (the win32-thread variant lacks std::mutex, which GoogleTest needs) and runs
# the built programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VORN_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VORN_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORN_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VORN_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VORN_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The build tree's CMakeLists replaces this with a wrapper that pins the
# private Wine prefix; plain wine is the fallback.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
