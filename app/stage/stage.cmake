# The real model on a stage, for the view tests, the screen pictures and the benchmarks: fixture
# reports, recording fakes of the desktop, scripted checks and copies behind the model's seams.
add_library(halvetrop_app_stage STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Stage.cpp ${CMAKE_CURRENT_LIST_DIR}/Stage.h
  ${CMAKE_CURRENT_LIST_DIR}/Fixtures.cpp ${CMAKE_CURRENT_LIST_DIR}/Fixtures.h)
set_target_properties(halvetrop_app_stage PROPERTIES AUTOMOC ON)
target_include_directories(halvetrop_app_stage PUBLIC ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/core)
target_link_libraries(halvetrop_app_stage PUBLIC halvetrop_app_bridge halvetrop_app_results halvetrop_app_records)
