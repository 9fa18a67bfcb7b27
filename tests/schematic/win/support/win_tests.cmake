# The Windows test programs: the window library's tests, a plug-in host that loads the built
# plug-in as a host application would, and checks that run the standalone program.
# Screenshots (PNG) go to the build folder's screenshots/.
set(kg_shot_dir ${CMAKE_BINARY_DIR}/screenshots)
target_compile_definitions(win_tests PRIVATE KG_SHOT_DIR="${kg_shot_dir}" KG_SAMPLES="${PROJECT_SOURCE_DIR}/samples")

if(TARGET Kestrelgraph)
  kg_test_program(plugin_tests plugin gui)
endif()
if(TARGET plugin_tests)
  add_dependencies(plugin_tests Kestrelgraph)
  target_compile_definitions(plugin_tests PRIVATE KG_PLUGIN_PATH="$<TARGET_FILE:Kestrelgraph>"
                             KG_SHOT_DIR="${kg_shot_dir}")
endif()
if(TARGET KestrelgraphStandalone)
  kg_test_program(standalone_tests standalone gui)
endif()
if(TARGET standalone_tests)
  add_dependencies(standalone_tests KestrelgraphStandalone)
  target_compile_definitions(standalone_tests PRIVATE KG_STANDALONE_EXE="$<TARGET_FILE:KestrelgraphStandalone>"
                             KG_SAMPLES="${PROJECT_SOURCE_DIR}/samples" KG_SHOT_DIR="${kg_shot_dir}")
endif()
