#include "app/image_library.h"

#include <gtest/gtest.h>

namespace {

// Initialises the image library once for the whole test program, as the program's start does.
class ImageLibraryEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        const auto problem = torvale::setUpImageLibrary();
        ASSERT_FALSE(problem.has_value()) << *problem;
    }
    void TearDown() override { torvale::tearDownImageLibrary(); }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new ImageLibraryEnvironment);

} // namespace
