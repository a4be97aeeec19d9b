# Pure presentation rules: no Qt Quick, only texts, numbers and colour roles from core values.
add_library(halvetrop_app_present STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Tokens.cpp ${CMAKE_CURRENT_LIST_DIR}/Format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Sidebar.cpp ${CMAKE_CURRENT_LIST_DIR}/RecentCard.cpp ${CMAKE_CURRENT_LIST_DIR}/ReportSummary.cpp ${CMAKE_CURRENT_LIST_DIR}/Settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Home.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Results.cpp ${CMAKE_CURRENT_LIST_DIR}/Fit.cpp)
target_include_directories(halvetrop_app_present PUBLIC ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/core)
target_link_libraries(halvetrop_app_present PUBLIC halvetrop_core Qt6::Core ICU::i18n ICU::uc)
target_sources(halvetrop_app_present PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Files.cpp)
target_sources(halvetrop_app_present PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Paths.cpp ${CMAKE_CURRENT_LIST_DIR}/Paths.h)
target_sources(halvetrop_app_present PRIVATE ${CMAKE_CURRENT_LIST_DIR}/CopyReport.cpp ${CMAKE_CURRENT_LIST_DIR}/CopyReport.h)
