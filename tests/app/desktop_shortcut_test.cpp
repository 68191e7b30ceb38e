#include "app/desktop_shortcut.h"
#include "app/installed_files.h"
#include "app/templates_folder.h"
#include "common/build_info.h"
#include "common/paths.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace torvale {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(DesktopLauncherTest, WritesAnExecutableLauncher)
{
    TempDir desktop;
    const std::filesystem::path exe = "/opt/Torvale app/bin/torvale";
    const std::string icon = "/opt/Torvale app/share/icons/hicolor/scalable/apps/torvale.svg";
    ASSERT_TRUE(writeDesktopLauncher(desktop.path(), exe, icon));
    const std::filesystem::path launcher = desktop.path() / "Torvale.desktop";
    EXPECT_EQ(desktopLauncherPath(desktop.path()), launcher);
    const std::string text = readFile(launcher.string());
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nName=Torvale\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=\"/opt/Torvale app/bin/torvale\""), std::string::npos);
    EXPECT_NE(text.find("\nPath=/opt/Torvale app/bin\n"), std::string::npos);
    EXPECT_NE(text.find("\nIcon=" + icon + "\n"), std::string::npos);
    EXPECT_NE(text.find("\nTerminal=false\n"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat(launcher.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);
}

TEST(DesktopLauncherTest, QuotesSpecialCharactersOfTheProgramPath)
{
    TempDir desktop;
    ASSERT_TRUE(writeDesktopLauncher(desktop.path(), "/opt/a$b\"c/torvale", "torvale"));
    const std::string text = readFile((desktop.path() / "Torvale.desktop").string());
    EXPECT_NE(text.find("Exec=\"/opt/a\\\\$b\\\\\"c/torvale\""), std::string::npos) << text;
}

TEST(DesktopLauncherTest, OverwritesAnExistingLauncher)
{
    TempDir desktop;
    writeFile(desktop.file("Torvale.desktop"), "old");
    ASSERT_TRUE(writeDesktopLauncher(desktop.path(), "/usr/bin/torvale", "torvale"));
    EXPECT_NE(readFile(desktop.file("Torvale.desktop")).find("[Desktop Entry]"), std::string::npos);
}

TEST(DesktopLauncherTest, FailsWithoutADesktopFolder)
{
    TempDir dir;
    EXPECT_FALSE(writeDesktopLauncher(dir.path() / "missing", "/usr/bin/torvale", "torvale"));
}

TEST(DesktopLauncherTest, OfferRules)
{
    TempDir desktop;
    TempDir program;
    EXPECT_TRUE(shouldOfferDesktopLauncher(true, program.path(), desktop.path()));
    EXPECT_FALSE(shouldOfferDesktopLauncher(false, program.path(), desktop.path()));
    // The program lies on the desktop.
    EXPECT_FALSE(shouldOfferDesktopLauncher(true, desktop.path() / "Torvale", desktop.path()));
    writeFile(desktop.file("Torvale.desktop"), "x");
    EXPECT_FALSE(shouldOfferDesktopLauncher(true, program.path(), desktop.path()));
}

TEST(TemplatesFolderTest, UnderTheUserDataFolderMadeWhenMissing)
{
    TempDir data;
    const auto folder = prepareTemplatesFolder(data.path() / "Torvale");
    EXPECT_EQ(folder, data.path() / "Torvale" / pathFromUtf8("我的模版"));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(prepareTemplatesFolder(data.path() / "Torvale"), folder); // found the next time
}

// An installed program in <prefix>/bin finds the guide and the icon under <prefix>/share; one in
// the build tree finds those built there.
TEST(InstalledFilesTest, InstalledFilesComeBeforeThoseOfTheBuildTree)
{
    TempDir root;
    const std::filesystem::path bin = root.path() / "usr" / "bin";
    std::filesystem::create_directories(bin);
    const std::filesystem::path guide = root.path() / "usr/share/doc/torvale/guide/index.html";
    const std::filesystem::path icon =
        root.path() / "usr/share/icons/hicolor/scalable/apps" / (std::string(kAppId) + ".svg");
    EXPECT_EQ(installedUserGuide(bin), guide);
    EXPECT_EQ(findUserGuide(bin), std::nullopt);
    EXPECT_EQ(findApplicationIcon(bin), std::nullopt);

    for (const char* relative : {kBuildTreeGuide, kBuildTreeIcon}) {
        std::filesystem::create_directories((bin / relative).parent_path());
        writeFile(pathToUtf8(bin / relative), "built");
    }
    EXPECT_EQ(findUserGuide(bin), (bin / kBuildTreeGuide).lexically_normal());
    EXPECT_EQ(findApplicationIcon(bin), (bin / kBuildTreeIcon).lexically_normal());

    for (const auto& installed : {guide, icon}) {
        std::filesystem::create_directories(installed.parent_path());
        writeFile(pathToUtf8(installed), "installed");
    }
    EXPECT_EQ(findUserGuide(bin), guide);
    EXPECT_EQ(findApplicationIcon(bin), icon);
}

} // namespace
} // namespace torvale
