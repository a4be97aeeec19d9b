halvetrop_module(collate SOURCES Collation.cpp DEPS halvetrop_utf8 ICU::uc ICU::i18n)
