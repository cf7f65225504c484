# 32-bit Windows (PE32), run under Debian's 32-bit loader `wine`.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VORN_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
