halvetrop_module(platform SOURCES Sys.cpp Errors.cpp PageCache.cpp MountInfo.cpp BlockDevices.cpp DEPS Threads::Threads)
