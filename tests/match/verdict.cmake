halvetrop_test(verdict_tests
  SOURCES VerdictTest.cpp StatusTest.cpp LandingTest.cpp OnDriveTest.cpp
  LIBS halvetrop_verdict)
