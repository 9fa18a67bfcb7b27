# Cross-compiling for x86-64 Windows with mingw-w64, statically linked, run under Wine.
set(KG_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;wine)
