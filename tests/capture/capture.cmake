# Date texts, capture records and the photo/movie/clip readers. Each executable runs its tests on
# one thread because some of them switch the process time zone.
halvetrop_test(dates_tests SOURCES DatesTest.cpp LIBS halvetrop_dates)
# The photos the suites read, built once for all of them.
add_library(halvetrop_photo_fixtures STATIC ${CMAKE_CURRENT_LIST_DIR}/PhotoFixtures.cpp)
halvetrop_test(capture_tests SOURCES CaptureInfoTest.cpp PhotoReaderTest.cpp MovieReaderTest.cpp
  LIBS halvetrop_photo_fixtures halvetrop_capture nlohmann_json::nlohmann_json)
# Not a test: writes photo fixtures for the capture benchmark (bench/compare-capture).
add_executable(capture_fixtures ${CMAKE_CURRENT_LIST_DIR}/FixtureTool.cpp)
target_link_libraries(capture_fixtures PRIVATE halvetrop_photo_fixtures)
halvetrop_test(capture_threaded_tests SOURCES ConcurrentReadTest.cpp
  LIBS halvetrop_photo_fixtures halvetrop_capture halvetrop_report LABELS threaded)
