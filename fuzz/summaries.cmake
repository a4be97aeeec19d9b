find_package(Qt6 6.4 REQUIRED COMPONENTS Core)
add_library(halvetrop_history_summaries_fuzz STATIC ${PROJECT_SOURCE_DIR}/app/model/HistorySummaries.cpp
  ${PROJECT_SOURCE_DIR}/app/model/JsonScan.cpp)
target_include_directories(halvetrop_history_summaries_fuzz PUBLIC ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/core)
target_link_libraries(halvetrop_history_summaries_fuzz PUBLIC halvetrop_report Qt6::Core PRIVATE nlohmann_json::nlohmann_json)
halvetrop_fuzzer(summaries halvetrop_history_summaries_fuzz)
