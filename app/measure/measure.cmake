# The application's own window measured for the benchmarks (bench/app-start, checking-animation,
# window-recheck, window-waits): chosen by a HALVETROP_MEASURE_* variable, handed the model and the
# main window by the application. Built only for the application that links it.
add_library(halvetrop_app_measure STATIC EXCLUDE_FROM_ALL
  ${CMAKE_CURRENT_LIST_DIR}/Measure.cpp ${CMAKE_CURRENT_LIST_DIR}/Measure.h
  ${CMAKE_CURRENT_LIST_DIR}/MeasureWaits.cpp ${CMAKE_CURRENT_LIST_DIR}/MeasureWaits.h)
target_include_directories(halvetrop_app_measure PUBLIC ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/core)
target_link_libraries(halvetrop_app_measure PUBLIC halvetrop_app_model Qt6::Qml Qt6::Quick)
