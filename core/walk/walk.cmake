halvetrop_module(walk SOURCES BulkWalker.cpp DEPS halvetrop_platform halvetrop_utf8 Threads::Threads)
