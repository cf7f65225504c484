# 64-bit Windows (PE32+), run under the 64-bit loader /usr/lib/wine/wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VORN_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
