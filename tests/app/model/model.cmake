# Qt's imported targets are visible only in the directory that found them.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Concurrent DBus Test)
halvetrop_qttest_library(halvetrop_model_fixture SOURCES ModelFixture.cpp LIBS halvetrop_app_model)
halvetrop_qttest(app_model_test SOURCES AppModelTest.cpp LIBS halvetrop_model_fixture halvetrop_app_model LABELS threaded)
halvetrop_qttest(app_card_and_backups_test SOURCES CardAndBackupsTest.cpp LIBS halvetrop_model_fixture halvetrop_app_model
  LABELS threaded)
halvetrop_qttest(app_model_e2e_test SOURCES ModelEndToEndTest.cpp
  LIBS halvetrop_model_fixture halvetrop_app_model halvetrop_testsupport LABELS root AS_USER)
# A check and its Cancel while a hundred other drives are mounted and one of them remounted all the
# time; in a mount namespace of its own, where its drives are the only ones.
halvetrop_qttest(app_model_busy_mounts_test SOURCES BusyMountsTest.cpp
  LIBS halvetrop_model_fixture halvetrop_app_model halvetrop_testsupport LABELS root PRIVATE_MOUNTS AS_USER)
halvetrop_qttest(app_file_rows_test SOURCES FileRowsTest.cpp LIBS halvetrop_model_fixture halvetrop_app_model halvetrop_testsupport)
halvetrop_qttest(app_copy_sheet_test SOURCES CopySheetTest.cpp LIBS halvetrop_model_fixture halvetrop_app_model halvetrop_testsupport LABELS threaded)
halvetrop_qttest(app_photo_apps_test SOURCES PhotoAppsTest.cpp LIBS halvetrop_app_model halvetrop_testsupport)
halvetrop_qttest(app_copy_e2e_test SOURCES CopyEndToEndTest.cpp
  LIBS halvetrop_model_fixture halvetrop_app_model halvetrop_testsupport LABELS root PRIVATE_MOUNTS AS_USER)
