# The shipped build: 32-bit Windows, win32 threads (no pthread DLL to carry).
set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_THREADS win32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
