# Every state of the window over the real model with the stage's scripted check and copy, each
# walked through the sizes a user can give the window, twice. It needs no root, and it also runs
# under AddressSanitizer, where a view that lays out an item Qt Quick has freed is caught even when
# it does not crash.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Qml Quick QuickControls2 Test)
# Every window suite drives the window through this one driver.
halvetrop_qttest_library(halvetrop_window_driver SOURCES WindowDriver.cpp
  LIBS halvetrop_app_stage halvetrop_thumbnail_views halvetrop_testsupport Qt6::Widgets)
halvetrop_qttest(app_window_every_state_test SOURCES EveryStateWindowTest.cpp
  LIBS halvetrop_window_driver)
add_dependencies(app_window_every_state_test halvetrop-thumbnailer)
if(HALVETROP_SANITIZE)
  # No leak check here: what Qt, GLib and PulseAudio keep for the life of the process is not freed
  # at exit, and LeakSanitizer cannot tell it from ours through libraries built without frame
  # pointers.
  set_property(TEST app_window_every_state_test APPEND PROPERTY ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1")
endif()
