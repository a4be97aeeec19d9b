halvetrop_module(dates SOURCES Dates.cpp DEPS ICU::uc)
