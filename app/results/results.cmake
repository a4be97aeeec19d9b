# What the results screen shows of a report (texts, rows, the folder panel) and the disk tool it
# opens, joined to the model for the views.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0 gio-unix-2.0)
add_library(halvetrop_app_results STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ResultsData.cpp ${CMAKE_CURRENT_LIST_DIR}/ResultsData.h
  ${CMAKE_CURRENT_LIST_DIR}/DiskTool.cpp ${CMAKE_CURRENT_LIST_DIR}/DiskTool.h
  ${CMAKE_CURRENT_LIST_DIR}/PlaceRows.cpp ${CMAKE_CURRENT_LIST_DIR}/PlaceRows.h)
set_target_properties(halvetrop_app_results PROPERTIES AUTOMOC ON)
target_include_directories(halvetrop_app_results PUBLIC ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/core)
target_link_libraries(halvetrop_app_results PUBLIC halvetrop_app_model halvetrop_thumbnail_protocol halvetrop_app_present Qt6::Qml
  PRIVATE PkgConfig::GIO)

# Time to the first frame of the results of a large report, and the longest frame while scrolling.
if(HALVETROP_BENCH AND NOT HALVETROP_SANITIZE)
  add_executable(halvetrop-results-bench ${PROJECT_SOURCE_DIR}/bench/results-open.cpp
    ${PROJECT_SOURCE_DIR}/bench/SyntheticReport.cpp)
  target_include_directories(halvetrop-results-bench PRIVATE ${PROJECT_SOURCE_DIR}/bench)
  target_link_libraries(halvetrop-results-bench PRIVATE halvetrop_app_stage Qt6::Widgets)
endif()
# GLib's headers name a member "signals", which Qt's headers have made a keyword: apart from the rest.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/DiskTool.cpp PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
