# The reference library is the oracle of these tests only; the product never links it.
find_library(XXHASH_LIBRARY xxhash)
if(XXHASH_LIBRARY)
  halvetrop_test(hash_tests SOURCES XXH3Test.cpp XXHash64Test.cpp HashOracle.cpp
                 LIBS halvetrop_hash ${XXHASH_LIBRARY})
else()
  message(WARNING "libxxhash not found: hash_tests not built (scripts/deps installs libxxhash-dev)")
endif()
