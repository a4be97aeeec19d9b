# The shell's native parts (symbols, desktop icons, saved-check rows, settings, the preview's video
# frames, painted from videos made with the card fixtures' encoder) and the views on the real model
# with scripted verifiers.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Concurrent DBus Qml Quick QuickControls2 Svg Multimedia Test)
halvetrop_qttest(app_shell_test SOURCES ShellTest.cpp
  LIBS halvetrop_model_fixture halvetrop_app_bridge halvetrop_app_stage halvetrop_card_fixtures halvetrop_testsupport
  Qt6::Widgets LABELS root)
# The appearance's palette and colours by name, and the fitting rules as the views call them.
halvetrop_test(app_look_test SOURCES LookTest.cpp LIBS halvetrop_app_shell)
