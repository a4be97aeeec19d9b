halvetrop_test(platform_tests SOURCES ErrorsTest.cpp LIBS halvetrop_platform)
