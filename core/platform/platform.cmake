halvetrop_module(platform SOURCES Sys.cpp Errors.cpp PageCache.cpp LongPath.cpp DEPS Threads::Threads)
