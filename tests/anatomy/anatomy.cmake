halvetrop_test(anatomy_tests SOURCES KindsTest.cpp AnatomyTest.cpp CameraDetectorTest.cpp
  LIBS halvetrop_anatomy LABELS threaded)
