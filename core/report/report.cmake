halvetrop_module(report SOURCES Join.cpp Report.cpp CSVExport.cpp JsonWriter.cpp JsonReader.cpp StoredForm.cpp PolicyJson.cpp
  DEPS halvetrop_anatomy halvetrop_capture halvetrop_utf8 nlohmann_json::nlohmann_json simdjson::simdjson)
