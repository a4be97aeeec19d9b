# View tests: Qt Quick Test suites (tst_*.qml) against the real model on a stage, offscreen.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Qml Quick QuickControls2 Svg QuickTest Test)
add_executable(app_qml_test ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
halvetrop_qttest_target(app_qml_test)
target_link_libraries(app_qml_test PRIVATE halvetrop_app_stage Qt6::QuickTest Qt6::Test Qt6::Widgets)
target_compile_definitions(app_qml_test PRIVATE QUICK_TEST_SOURCE_DIR="${CMAKE_CURRENT_LIST_DIR}")
add_test(NAME app_qml_test COMMAND app_qml_test)
set_tests_properties(app_qml_test PROPERTIES LABELS "app" TIMEOUT 900
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=en_US.UTF-8;TZ=UTC;QT_QUICK_CONTROLS_STYLE=Fusion")
