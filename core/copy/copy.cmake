halvetrop_module(copy SOURCES CardFence.cpp CopyError.cpp CopyEngine.cpp CopyLayout.cpp CopyPlanner.cpp CopyRunner.cpp MediumRead.cpp
  DEPS halvetrop_platform halvetrop_utf8 halvetrop_hash halvetrop_index halvetrop_drives halvetrop_report halvetrop_anatomy ICU::uc nlohmann_json::nlohmann_json)
