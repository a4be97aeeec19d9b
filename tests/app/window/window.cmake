# The application's window end to end: the real model, verifier and copy runner on zram drives,
# driven by clicks and keys. Needs root; runs in a mount namespace of its own, so other suites'
# drives never show up as cards in it.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Qml Quick QuickControls2 Test)
halvetrop_qttest(app_window_e2e_test SOURCES WindowEndToEndTest.cpp
  LIBS halvetrop_window_driver LABELS root PRIVATE_MOUNTS AS_USER)
add_dependencies(app_window_e2e_test halvetrop-thumbnailer)

# The results, the copy dialog and the inspector in the window, on the same kind of drives and a
# tmpfs backup; its disk service is looked for on a session bus of its own, where there is none.
halvetrop_qttest(app_window_results_test SOURCES ResultsWindowTest.cpp
  LIBS halvetrop_window_driver LABELS root
  PRIVATE_MOUNTS SESSION_BUS AS_USER)
add_dependencies(app_window_results_test halvetrop-thumbnailer)

# The sidebar, the start screen, the banners and the views of a result while the byte-by-byte
# pass folds, on three zram drives that its cases pull out and plug in again (and relabel, which
# the device manager announces).
halvetrop_qttest(app_window_sidebar_test SOURCES SidebarWindowTest.cpp
  LIBS halvetrop_window_driver LABELS root PRIVATE_MOUNTS AS_USER
  DEVICE_DATABASE)
add_dependencies(app_window_sidebar_test halvetrop-thumbnailer)

# What keys, popovers, previews and rows do in the window over the real model with the stage's
# scripted check, copy and file manager; and the application quitting without a word from QML.
halvetrop_qttest(app_window_behaviour_test SOURCES BehaviourWindowTest.cpp
  LIBS halvetrop_window_driver halvetrop_card_fixtures)
add_dependencies(app_window_behaviour_test halvetrop-thumbnailer halvetrop)
