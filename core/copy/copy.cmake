halvetrop_module(copy SOURCES CopyError.cpp CopyEngine.cpp CopyLayout.cpp CopyPlanner.cpp CopyRunner.cpp
  DEPS halvetrop_platform halvetrop_utf8 halvetrop_hash halvetrop_drives halvetrop_report halvetrop_anatomy ICU::uc nlohmann_json::nlohmann_json)
