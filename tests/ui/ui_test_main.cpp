#include "app/image_library.h"
#include "ui/main/main_window.h"

#include <QApplication>
#include <gtest/gtest.h>

// The widgets need a QApplication (offscreen platform, set by the test's environment) and the
// image library set up before any test runs.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // A command nobody handles is a fault the tests must see.
    torvale::MainWindow::setStrictCommands(true);
    if (const auto problem = torvale::setUpImageLibrary()) {
        std::fprintf(stderr, "%s\n", problem->c_str());
        return 1;
    }
    return RUN_ALL_TESTS();
}
