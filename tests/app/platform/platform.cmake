# The Linux desktop services. The D-Bus suite hosts its doubles of UDisks2, FileManager1 and the
# settings portal on a private session bus of its own (dbus-run-session).
# Imported Qt targets are seen only in the directory that found them.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets DBus Network Test)
halvetrop_qttest(app_platform_dialogs SOURCES DialogsTest.cpp DialogDriver.h LIBS halvetrop_app_platform halvetrop_testsupport
  LABELS root AS_USER)
halvetrop_qttest(app_platform_instance SOURCES SingleInstanceTest.cpp LIBS halvetrop_app_platform)
halvetrop_qttest(app_platform_volumes PRIVATE_MOUNTS SOURCES VolumesTest.cpp LIBS halvetrop_app_platform halvetrop_testsupport
  LABELS root)
# A volume relabelled while mounted, on a zram drive, with the device manager running; in a mount
# namespace of its own, so no other suite's mount passes for the announcement.
halvetrop_qttest(app_platform_device_changes SOURCES DeviceChangesTest.cpp LIBS halvetrop_app_platform halvetrop_testsupport
  LABELS root PRIVATE_MOUNTS AS_USER DEVICE_DATABASE)

find_program(DBUS_RUN_SESSION dbus-run-session REQUIRED)
add_executable(app_platform_dbus ${CMAKE_CURRENT_LIST_DIR}/DBusServicesTest.cpp ${CMAKE_CURRENT_LIST_DIR}/FakeBus.h)
halvetrop_qttest_target(app_platform_dbus)
target_link_libraries(app_platform_dbus PRIVATE halvetrop_app_platform)
add_test(NAME app_platform_dbus COMMAND ${DBUS_RUN_SESSION} -- $<TARGET_FILE:app_platform_dbus>)
set_tests_properties(app_platform_dbus PROPERTIES LABELS "app" TIMEOUT 900
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=en_US.UTF-8;TZ=UTC")
