halvetrop_module(index SOURCES NameKey.cpp DestIndex.cpp Candidates.cpp
  DEPS halvetrop_utf8 ICU::uc nlohmann_json::nlohmann_json)
