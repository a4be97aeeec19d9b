halvetrop_test(text_tests SOURCES Utf8Test.cpp LIBS halvetrop_utf8)
