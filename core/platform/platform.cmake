halvetrop_module(platform SOURCES Sys.cpp Errors.cpp PageCache.cpp MountInfo.cpp Layers.cpp HeldObject.cpp BlockDevices.cpp LongPath.cpp NoAtime.cpp VolumeFlush.cpp DEPS Threads::Threads)
