# The imported Qt targets of the application's folder are not seen from here.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Concurrent Test)
halvetrop_qttest(halvetrop_history_test SOURCES HistoryTest.cpp LIBS halvetrop_app_records halvetrop_testsupport
  LABELS threaded)
halvetrop_qttest(halvetrop_filelist_test SOURCES FileListTest.cpp LIBS halvetrop_app_records halvetrop_testsupport)
