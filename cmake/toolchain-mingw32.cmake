# Cross-compiling for i386 Windows with mingw-w64, statically linked.
set(KG_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
# 32-bit programs cannot run on these machines: no emulator, build only.
