# The cards the suites check, built once for all of them.
add_library(halvetrop_card_fixture STATIC ${CMAKE_CURRENT_LIST_DIR}/CardFixture.cpp)
target_link_libraries(halvetrop_card_fixture PUBLIC halvetrop_verify halvetrop_photo_fixtures halvetrop_testsupport)
halvetrop_test(verify_stage_tests SOURCES StagesTest.cpp TsanSuppressions.cpp LIBS halvetrop_verify halvetrop_walk LABELS threaded)
halvetrop_test(verify_scenario_tests SOURCES ScenarioTest.cpp TsanSuppressions.cpp
  LIBS halvetrop_card_fixture halvetrop_verify halvetrop_walk LABELS threaded)
halvetrop_test(verify_volume_tests SOURCES VolumeTest.cpp TsanSuppressions.cpp
  LIBS halvetrop_card_fixture halvetrop_verify halvetrop_walk LABELS root threaded AS_USER)
halvetrop_test(verify_safety_tests SOURCES SafetyAuditTest.cpp TsanSuppressions.cpp
  LIBS halvetrop_card_fixture halvetrop_verify halvetrop_walk LABELS threaded)
halvetrop_test(verify_safety_root_tests SOURCES SafetyAuditRootTest.cpp TsanSuppressions.cpp
  LIBS halvetrop_card_fixture halvetrop_verify halvetrop_walk LABELS root threaded)
halvetrop_test(verify_card_integrity_tests SOURCES CardIntegrityTest.cpp TsanSuppressions.cpp
  LIBS halvetrop_card_fixture halvetrop_verify halvetrop_walk halvetrop_copy LABELS root threaded AS_USER)
halvetrop_test(verify_damage_tests SOURCES DamagedCopyTest.cpp
  LIBS halvetrop_card_fixture halvetrop_verify halvetrop_walk LABELS root AS_USER)
