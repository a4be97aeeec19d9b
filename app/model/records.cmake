# The model's records: the history of checked cards and the file list's rules. QtCore only, so
# the model, its tests and the benchmark link them without a GUI.
add_library(halvetrop_app_records STATIC
  ${CMAKE_CURRENT_LIST_DIR}/History.cpp ${CMAKE_CURRENT_LIST_DIR}/History.h
  ${CMAKE_CURRENT_LIST_DIR}/SavedReport.cpp ${CMAKE_CURRENT_LIST_DIR}/SavedReport.h
  ${CMAKE_CURRENT_LIST_DIR}/HistorySummaries.cpp ${CMAKE_CURRENT_LIST_DIR}/HistorySummaries.h
  ${CMAKE_CURRENT_LIST_DIR}/JsonScan.cpp ${CMAKE_CURRENT_LIST_DIR}/JsonScan.h
  ${CMAKE_CURRENT_LIST_DIR}/FileList.cpp ${CMAKE_CURRENT_LIST_DIR}/FileList.h
  ${CMAKE_CURRENT_LIST_DIR}/WriteAll.h)
set_target_properties(halvetrop_app_records PROPERTIES AUTOMOC ON)
target_include_directories(halvetrop_app_records PUBLIC ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/core)
target_link_libraries(halvetrop_app_records PUBLIC halvetrop_core halvetrop_app_platform Qt6::Core Qt6::Concurrent
  PRIVATE nlohmann_json::nlohmann_json ICU::uc)
# The file browser's rows, for the model and for the views' fixtures.
target_sources(halvetrop_app_records PRIVATE ${CMAKE_CURRENT_LIST_DIR}/FileRows.cpp ${CMAKE_CURRENT_LIST_DIR}/FileRows.h)
target_link_libraries(halvetrop_app_records PUBLIC halvetrop_app_present)
target_link_libraries(halvetrop_app_records PUBLIC halvetrop_thumbnail_protocol)
