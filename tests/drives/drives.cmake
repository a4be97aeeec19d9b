halvetrop_test(drives_tests SOURCES DrivesTest.cpp LIBS halvetrop_drives)
halvetrop_test(drives_volume_tests SOURCES VolumesTest.cpp LIBS halvetrop_drives halvetrop_content LABELS root AS_USER)
