halvetrop_test(platform_tests SOURCES ErrorsTest.cpp PageCacheTest.cpp LongPathTest.cpp LIBS halvetrop_platform)
