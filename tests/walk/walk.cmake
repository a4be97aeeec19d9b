halvetrop_test(walk_tests SOURCES BulkWalkerTest.cpp LIBS halvetrop_walk LABELS threaded)
halvetrop_test(walk_mount_tests SOURCES WalkMountTest.cpp LIBS halvetrop_walk LABELS root threaded)
