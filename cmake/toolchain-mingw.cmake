# What the two mingw-w64 toolchain files share; each sets KG_MINGW_TRIPLE and the processor first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KG_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KG_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KG_MINGW_TRIPLE}-windres)
set(KG_DLLTOOL ${KG_MINGW_TRIPLE}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${KG_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Plain -static: otherwise the binaries still import libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
