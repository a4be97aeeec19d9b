# The results screen's figures from the real model and verifier on real drives.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Concurrent DBus Qml Test)
halvetrop_qttest(app_results_e2e_test SOURCES ResultsEndToEndTest.cpp
  LIBS halvetrop_model_fixture halvetrop_app_results halvetrop_testsupport LABELS root)
halvetrop_test(app_results_test SOURCES DiskToolTest.cpp ReportTallyTest.cpp LIBS halvetrop_app_results LABELS app)
halvetrop_qttest(app_results_data_test SOURCES ResultsDataTest.cpp LIBS halvetrop_app_stage)
halvetrop_qttest(app_results_model_test SOURCES ResultsModelTest.cpp
  LIBS halvetrop_model_fixture halvetrop_app_results LABELS threaded)
