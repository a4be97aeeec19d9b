halvetrop_test(app_present_test SOURCES TokensTest.cpp ContrastTest.cpp FitTest.cpp FormatTest.cpp LooksTest.cpp HomeTest.cpp ResultsTest.cpp LIBS halvetrop_app_present)
set_tests_properties(app_present_test PROPERTIES ENVIRONMENT "TZ=America/Los_Angeles;LANG=en_US.UTF-8")
halvetrop_test(app_present_files_test SOURCES FilesTest.cpp LIBS halvetrop_app_present)
set_tests_properties(app_present_files_test PROPERTIES ENVIRONMENT "TZ=America/Los_Angeles;LANG=en_US.UTF-8")
