# The Windows side: the viewer window library, the standalone program and the plug-in.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KG_ARCH x64)
else()
  set(KG_ARCH x86)
endif()

# COMCTL32's subclassing functions by ordinal: mingw-w64's import library names them instead.
set(kg_comctl_def ${CMAKE_CURRENT_SOURCE_DIR}/schematic/win/comctl32-ordinals-${KG_ARCH}.def)
set(kg_comctl_lib ${CMAKE_BINARY_DIR}/libcomctl32_ordinals.a)
if(EXISTS ${kg_comctl_def})
  add_custom_command(OUTPUT ${kg_comctl_lib}
    COMMAND ${KG_DLLTOOL} -d ${kg_comctl_def} -l ${kg_comctl_lib} -D COMCTL32.dll
    DEPENDS ${kg_comctl_def} VERBATIM)
  add_custom_target(kg_comctl_ordinals DEPENDS ${kg_comctl_lib})
endif()

if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/schematic/win/CMakeLists.txt)
  add_subdirectory(schematic/win)
endif()
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/standalone/CMakeLists.txt)
  add_subdirectory(standalone)
endif()
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/plugin/CMakeLists.txt)
  add_subdirectory(plugin)
endif()
