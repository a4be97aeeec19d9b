halvetrop_module(hash SOURCES XXH3.cpp XXHash64.cpp)
