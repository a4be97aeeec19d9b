# The application model: one QObject holding the state every screen shows, the verifier seam and
# the open-locations holder. QtCore, QtConcurrent and QtGui only, so it runs in tests without a
# window.
add_library(halvetrop_app_model STATIC
  ${CMAKE_CURRENT_LIST_DIR}/AppModel.cpp ${CMAKE_CURRENT_LIST_DIR}/AppModel.h
  ${CMAKE_CURRENT_LIST_DIR}/AppModelWork.h ${CMAKE_CURRENT_LIST_DIR}/AppModelBackups.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AppModelChecks.cpp ${CMAKE_CURRENT_LIST_DIR}/AppModelPass.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AppModelHistory.cpp ${CMAKE_CURRENT_LIST_DIR}/AppModelVolumes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AppModelFiles.cpp ${CMAKE_CURRENT_LIST_DIR}/AppModelCopy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AppModelCard.cpp ${CMAKE_CURRENT_LIST_DIR}/CardWatch.cpp ${CMAKE_CURRENT_LIST_DIR}/CardWatch.h
  ${CMAKE_CURRENT_LIST_DIR}/BackupPresence.cpp ${CMAKE_CURRENT_LIST_DIR}/BackupPresence.h
  ${CMAKE_CURRENT_LIST_DIR}/ModelText.cpp ${CMAKE_CURRENT_LIST_DIR}/ModelText.h ${CMAKE_CURRENT_LIST_DIR}/Throttle.h
  ${CMAKE_CURRENT_LIST_DIR}/ReportTally.cpp ${CMAKE_CURRENT_LIST_DIR}/ReportTally.h
  ${CMAKE_CURRENT_LIST_DIR}/VerifierSeam.cpp ${CMAKE_CURRENT_LIST_DIR}/VerifierSeam.h
  ${CMAKE_CURRENT_LIST_DIR}/ScopedAccess.h ${CMAKE_CURRENT_LIST_DIR}/FakeVerifier.h)
set_target_properties(halvetrop_app_model PROPERTIES AUTOMOC ON)
target_include_directories(halvetrop_app_model PUBLIC ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/core)
target_link_libraries(halvetrop_app_model PUBLIC halvetrop_app_records halvetrop_app_platform halvetrop_core
  Qt6::Core Qt6::Concurrent Qt6::Gui)
# The copy dialog's state; its report and texts are pure rules of the presentation library.
target_sources(halvetrop_app_model PRIVATE ${CMAKE_CURRENT_LIST_DIR}/CopySheet.cpp ${CMAKE_CURRENT_LIST_DIR}/CopySheet.h)
target_link_libraries(halvetrop_app_model PUBLIC halvetrop_app_present)
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-unix-2.0)
target_sources(halvetrop_app_model PRIVATE ${CMAKE_CURRENT_LIST_DIR}/PhotoApps.cpp ${CMAKE_CURRENT_LIST_DIR}/PhotoApps.h)
target_link_libraries(halvetrop_app_model PRIVATE PkgConfig::GIO)
# GLib's headers name a member "signals", which Qt's headers have made a keyword: apart from the rest.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/PhotoApps.cpp PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
