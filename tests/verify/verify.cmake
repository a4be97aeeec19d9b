halvetrop_test(verify_stage_tests SOURCES StagesTest.cpp TsanSuppressions.cpp LIBS halvetrop_verify halvetrop_walk LABELS threaded)
halvetrop_test(verify_scenario_tests SOURCES ScenarioTest.cpp TsanSuppressions.cpp CardFixture.cpp ../capture/PhotoFixtures.cpp
  LIBS halvetrop_verify halvetrop_walk LABELS threaded)
halvetrop_test(verify_volume_tests SOURCES VolumeTest.cpp TsanSuppressions.cpp CardFixture.cpp ../capture/PhotoFixtures.cpp
  LIBS halvetrop_verify halvetrop_walk LABELS root threaded AS_USER)
halvetrop_test(verify_safety_tests SOURCES SafetyAuditTest.cpp TsanSuppressions.cpp CardFixture.cpp ../capture/PhotoFixtures.cpp
  LIBS halvetrop_verify halvetrop_walk LABELS threaded)
halvetrop_test(verify_safety_root_tests SOURCES SafetyAuditRootTest.cpp TsanSuppressions.cpp CardFixture.cpp ../capture/PhotoFixtures.cpp
  LIBS halvetrop_verify halvetrop_walk LABELS root threaded)
halvetrop_test(verify_card_integrity_tests SOURCES CardIntegrityTest.cpp TsanSuppressions.cpp CardFixture.cpp ../capture/PhotoFixtures.cpp
  LIBS halvetrop_verify halvetrop_walk halvetrop_copy LABELS root threaded AS_USER)
halvetrop_test(verify_damage_tests SOURCES DamagedCopyTest.cpp CardFixture.cpp ../capture/PhotoFixtures.cpp
  LIBS halvetrop_verify halvetrop_walk LABELS root AS_USER)
