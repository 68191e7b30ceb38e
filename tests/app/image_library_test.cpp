#include "app/image_library.h"

#include <gtest/gtest.h>

namespace torvale {
namespace {

// The test environment has already set the library up once.
TEST(ImageLibrary, SetUpIsRepeatableAndSelfTestPasses)
{
    EXPECT_TRUE(selfTest());
    EXPECT_FALSE(setUpImageLibrary().has_value());
}

} // namespace
} // namespace torvale
