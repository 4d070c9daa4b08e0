// The entry of the Wine test programs: GoogleTest's options, then the build's paths.
#include <gtest/gtest.h>

#include "tests/wine/wine_test_support.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  pradex::winetest::ParsePaths(argc, argv);
  return RUN_ALL_TESTS();
}
