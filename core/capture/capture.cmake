halvetrop_module(capture SOURCES CaptureIdentity.cpp CaptureInfo.cpp CaptureReader.cpp ByteSource.cpp
  ExifParser.cpp MovieParser.cpp
  DEPS halvetrop_dates halvetrop_utf8 halvetrop_platform ICU::uc)
