# Tests of the desktop application, only where it is built. QtTest suites run offscreen with the
# desktop's standard paths in test mode; each folder below adds its suites with halvetrop_qttest.
if(NOT TARGET halvetrop_app_platform)
  return()
endif()

# Every source of the suites begins with Waits.h: their waits for work (Qt's QTRY_* among them)
# wait until it is done, whatever the machine's load, and give up only on a hang. It comes with Qt's
# headers, compiled once for every suite: each suite sees every Qt module the suites use, so that one
# precompiled header serves them all (Qt's test header changes with the modules a target links).
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Concurrent DBus Network Qml Quick QuickControls2 Svg
  Multimedia Test QuickTest)
add_library(halvetrop_qttest_qt INTERFACE)
target_link_libraries(halvetrop_qttest_qt INTERFACE Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Concurrent Qt6::DBus
  Qt6::Network Qt6::Qml Qt6::Quick Qt6::QuickControls2 Qt6::Svg Qt6::Multimedia Qt6::Test Qt6::QuickTest
  Threads::Threads)
add_library(halvetrop_qttest_pch OBJECT ${CMAKE_CURRENT_LIST_DIR}/Waits.cpp)
target_include_directories(halvetrop_qttest_pch PRIVATE ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/core)
target_link_libraries(halvetrop_qttest_pch PRIVATE halvetrop_qttest_qt)
target_precompile_headers(halvetrop_qttest_pch PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Waits.h <QtCore> <QtGui> <QtQml>
  <QtQuick> <QtConcurrent> ${PROJECT_SOURCE_DIR}/app/model/AppModel.h)

# A target of the suites: their include folders, Qt and the shared precompiled header.
function(halvetrop_qttest_target name)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/tests/app
    ${PROJECT_SOURCE_DIR}/app)
  target_link_libraries(${name} PRIVATE halvetrop_qttest_qt)
  target_precompile_headers(${name} REUSE_FROM halvetrop_qttest_pch)
  # Most suites include their meta-object code into their own source, which leaves the generated
  # one empty: it needs neither the waits nor the header, whose loading alone costs more.
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/mocs_compilation.cpp
    PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
endfunction()

# What several suites share (their model's fixture, the window's driver) is built once, as a
# library of its own, with the suites' include folders and waits.
function(halvetrop_qttest_library name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  list(TRANSFORM T_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
  add_library(${name} STATIC ${T_SOURCES})
  halvetrop_qttest_target(${name})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/tests/app)
  target_link_libraries(${name} PUBLIC ${T_LIBS} Qt6::Test Threads::Threads)
endfunction()

function(halvetrop_qttest name)
  # PRIVATE_MOUNTS: the suite watches the mount table, which is the whole machine's, so it runs in a
  # private mount namespace where it may have one (root), with empty file systems over the
  # removable-media folders, lest another process's volumes count. Its namespace would hold a copy
  # of every mount made before it starts, keeping another suite's unmounted drive alive (a zram
  # device that cannot be reset); the launcher detaches the copies of test drives, and the suite
  # also runs alone within a test run.
  # SESSION_BUS: the suite runs on a private session bus of its own (dbus-run-session).
  # AS_USER: the suite runs a second time as an ordinary user ("<name>_as_user"); see halvetrop_test.
  # DEVICE_DATABASE: the device manager (udev) runs for the suite as root too, as it does for an
  # ordinary user: the suite follows its announcements. Every suite labelled "root" has it.
  cmake_parse_arguments(T "PRIVATE_MOUNTS;SESSION_BUS;AS_USER;DEVICE_DATABASE" "" "SOURCES;LIBS;LABELS" ${ARGN})
  list(TRANSFORM T_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
  add_executable(${name} ${T_SOURCES})
  halvetrop_qttest_target(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  add_dependencies(${name} halvetrop-test-launch)
  set(command $<TARGET_FILE:${name}>)
  if(T_SESSION_BUS)
    find_program(DBUS_RUN_SESSION dbus-run-session REQUIRED)
    set(command ${DBUS_RUN_SESSION} -- ${command})
  endif()
  set(options)
  if(T_PRIVATE_MOUNTS)
    set(options --private-mounts)
  endif()
  if(T_DEVICE_DATABASE OR "root" IN_LIST T_LABELS)
    list(APPEND options --device-database)
  endif()
  set(environment "QT_QPA_PLATFORM=offscreen;LANG=en_US.UTF-8;TZ=UTC;HALVETROP_SOURCE_DIR=${PROJECT_SOURCE_DIR};HALVETROP_BUILD_DIR=${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${HALVETROP_TEST_LAUNCH} ${options} -- ${command})
  set_tests_properties(${name} PROPERTIES LABELS "app;${T_LABELS}" TIMEOUT 900 ENVIRONMENT "${environment}"
    FAIL_REGULAR_EXPRESSION "${HALVETROP_VOLUMES_MISSING}")
  if(T_AS_USER)
    add_test(NAME ${name}_as_user COMMAND ${HALVETROP_TEST_LAUNCH} ${options} --as-user -- ${command})
    set_tests_properties(${name}_as_user PROPERTIES LABELS "app;root;user" TIMEOUT 900 ENVIRONMENT "${environment}"
      FAIL_REGULAR_EXPRESSION "${HALVETROP_VOLUMES_MISSING}")
  endif()
  if(T_PRIVATE_MOUNTS)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE FIXTURES_REQUIRED foreign_volumes)
    if(T_AS_USER)
      set_tests_properties(${name}_as_user PROPERTIES RUN_SERIAL TRUE FIXTURES_REQUIRED foreign_volumes)
    endif()
  endif()
endfunction()

# Under AddressSanitizer only the suite that takes the window through every state and size runs:
# that is where the views meet items Qt Quick has freed, and one suite keeps the sanitizer build
# short.
if(HALVETROP_SANITIZE)
  include(${CMAKE_CURRENT_LIST_DIR}/window/every-state.cmake)
  return()
endif()

# Other removable volumes stay mounted while the suites that watch the mount table run, as on a
# user's machine: those suites see only their own.
add_test(NAME foreign_volumes_mount COMMAND ${PROJECT_SOURCE_DIR}/tests/support/foreign-volumes.sh mount 20 ${PROJECT_BINARY_DIR})
add_test(NAME foreign_volumes_unmount COMMAND ${PROJECT_SOURCE_DIR}/tests/support/foreign-volumes.sh unmount ${PROJECT_BINARY_DIR})
set_tests_properties(foreign_volumes_mount PROPERTIES FIXTURES_SETUP foreign_volumes LABELS "app;root")
set_tests_properties(foreign_volumes_unmount PROPERTIES FIXTURES_CLEANUP foreign_volumes LABELS "app;root")

file(GLOB app_test_fragments CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*/*.cmake)
foreach(fragment IN LISTS app_test_fragments)
  include(${fragment})
endforeach()
