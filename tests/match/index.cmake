halvetrop_test(index_tests SOURCES NameKeyTest.cpp DestIndexTest.cpp CandidatesTest.cpp LIBS halvetrop_index)
halvetrop_test(index_threads_tests SOURCES CandidatesThreadsTest.cpp LIBS halvetrop_index LABELS threaded)
