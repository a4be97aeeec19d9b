halvetrop_module(copy SOURCES CardFence.cpp CopyError.cpp CopyEngine.cpp CopyLayout.cpp CopyPlanner.cpp CopyRunner.cpp MediumRead.cpp
  DEPS halvetrop_platform halvetrop_utf8 halvetrop_hash halvetrop_index halvetrop_drives halvetrop_report halvetrop_anatomy ICU::uc nlohmann_json::nlohmann_json)
# Its classes' private states hold its own unnamed-namespace types, which only a source of its own
# may do without a warning.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/CopyEngine.cpp PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
