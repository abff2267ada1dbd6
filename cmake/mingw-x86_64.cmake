# The build we run under Wine. GoogleTest needs the posix-thread compilers.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_THREADS posix)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
# Tests run under Wine, in a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
