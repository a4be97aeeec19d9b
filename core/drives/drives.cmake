halvetrop_module(drives SOURCES Drives.cpp DeviceDatabase.cpp VolumeMatch.cpp Sysfs.cpp DEPS halvetrop_platform halvetrop_utf8 PkgConfig::BLKID PkgConfig::UDEV ICU::uc)
