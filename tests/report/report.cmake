halvetrop_test(report_tests SOURCES ReportTest.cpp StoredFormTest.cpp CSVExportTest.cpp
  LIBS halvetrop_report nlohmann_json::nlohmann_json)
