halvetrop_test(platform_tests SOURCES ErrorsTest.cpp PageCacheTest.cpp LIBS halvetrop_platform)
