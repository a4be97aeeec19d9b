halvetrop_module(anatomy SOURCES Kinds.cpp Anatomy.cpp CameraDetector.cpp
  DEPS halvetrop_utf8 ICU::uc ICU::i18n)
