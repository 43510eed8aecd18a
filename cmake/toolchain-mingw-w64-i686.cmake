# Cross-compiling for 32-bit Windows with Debian's MinGW-w64. Running its tests needs Wine's
# 32-bit part (wine32, from the i386 architecture).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELMORA_MINGW_TRIPLET i686-w64-mingw32)

include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64-common.cmake)
