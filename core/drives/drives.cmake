halvetrop_module(drives SOURCES Drives.cpp Sysfs.cpp DEPS halvetrop_platform halvetrop_utf8 PkgConfig::BLKID ICU::uc)
