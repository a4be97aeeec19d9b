halvetrop_module(platform SOURCES Sys.cpp Errors.cpp PageCache.cpp DEPS Threads::Threads)
