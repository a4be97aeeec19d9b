halvetrop_module(platform SOURCES Sys.cpp Errors.cpp DEPS Threads::Threads)
