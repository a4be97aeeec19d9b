halvetrop_module(utf8 SOURCES Utf8.cpp DEPS ICU::uc ICU::i18n)
