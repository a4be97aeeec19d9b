# Qt's imported targets are visible only in the directory that found them.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Concurrent DBus Test)
halvetrop_qttest(app_model_test SOURCES AppModelTest.cpp ModelFixture.cpp LIBS halvetrop_app_model LABELS threaded)
