# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread model, whose
# winpthreads library links statically like the rest). Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMORA_MINGW_TRIPLET x86_64-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64-common.cmake)
