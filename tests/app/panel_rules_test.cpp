#include "app/panel_rules.h"
#include "model/settings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <tuple>

namespace torvale {
namespace {

TEST(PanelRules, QualityLabelBands)
{
    const std::pair<long, const char*> cases[] = {
        {100, "100(高)"}, {90, "90(高)"}, {89, "89(中)"},
        {60, "60(中)"},   {59, "59(低)"}, {10, "10(低)"},
    };
    for (const auto& [quality, label] : cases)
        EXPECT_EQ(qualityLabelText(quality), label) << quality;
}

TEST(PanelRules, UpAndDownStepNumericFields)
{
    struct Case {
        const char* text;
        bool up;
        const char* expected;
    };
    // Bounds 1..999, as the font size field.
    const Case cases[] = {
        {"12", true, "11"}, {"12", false, "13"}, {"1", true, "1"},       {"999", false, "999"},
        {"", true, "1"},    {"", false, "1"},    {"5000", false, "999"}, {"12345678", true, "1234566"},
        {"7x", false, "8"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(steppedFieldText(c.text, c.up, 1, 999), c.expected) << c.text << c.up;
    // Empty: Up gives the minimum, Down gives 1 whatever the minimum.
    EXPECT_EQ(steppedFieldText("", true, 0, 9999), "0");
    EXPECT_EQ(steppedFieldText("", false, 0, 9999), "1");
}

TEST(PanelRules, TypedCharacters)
{
    struct Case {
        char16_t ch;
        int selectionStart;
        bool digitsOnly;
        bool accepted;
    };
    const Case cases[] = {
        {u'7', 0, true, true},   {u'7', 0, false, true},   {u'.', 0, false, false},
        {u'.', 2, false, true},  {u'.', 2, true, false},   {u'a', 1, false, false},
        {u'-', 0, false, false}, {u'１', 0, false, false}, {0x08, 0, false, true},
        {0x0D, 0, false, true},  {0x03, 0, false, true},   {0x16, 0, true, true},
        {0x18, 0, false, true},  {0x1A, 0, false, true},   {0x01, 0, false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(acceptsTypedCharacter(c.ch, c.selectionStart, c.digitsOnly), c.accepted)
            << static_cast<int>(c.ch) << " at " << c.selectionStart;
}

TEST(PanelRules, PastedText)
{
    const std::pair<const char*, bool> decimal[] = {
        {"12.5", true}, {"-1", true}, {"-0.25", true}, {"7", true},
        {"12.", true},  {"-", false}, {".5", false},   {"1.2.3", false},
        {"1e5", false}, {"", false},  {" 1", false},   {"--1", false},
    };
    for (const auto& [text, accepted] : decimal)
        EXPECT_EQ(acceptsPastedText(text, false), accepted) << text;
    EXPECT_TRUE(acceptsPastedText("0123", true));
    EXPECT_TRUE(acceptsPastedText("", true));
    EXPECT_FALSE(acceptsPastedText("12.5", true));
    EXPECT_FALSE(acceptsPastedText("-1", true));
}

TEST(PanelRules, UnitSwitchRewritesTheTextsFromThePixels)
{
    struct Case {
        std::int32_t dpi;
        SizeUnit unit;
        const char* text;
    };
    const Case cases[] = {
        {300, SizeUnit::Centimetre, "6.77"},  {300, SizeUnit::Inch, "2.667"},
        {300, SizeUnit::Millimetre, "67.73"}, {72, SizeUnit::Centimetre, "28.22"},
        {72, SizeUnit::Inch, "11.111"},       {300, SizeUnit::Pixel, "800"},
    };
    for (const Case& c : cases) {
        BackgroundLayer background;
        background.dpi = c.dpi;
        background.unit = c.unit == SizeUnit::Pixel ? SizeUnit::Inch : SizeUnit::Pixel;
        switchBackgroundUnit(background, c.unit);
        EXPECT_EQ(background.unit, c.unit);
        EXPECT_EQ(background.szWidth, c.text) << c.dpi;
        EXPECT_EQ(background.szHeight, c.text);
        EXPECT_EQ(background.width, 800) << "the pixel size does not change";
    }
}

TEST(PanelRules, SizeTextsTakeTheCurrentDpi)
{
    struct Case {
        SizeUnit unit;
        const char* text;
        std::int32_t dpi;
        std::int32_t pixels;
    };
    const Case cases[] = {
        {SizeUnit::Centimetre, "2.54", 300, 300}, {SizeUnit::Centimetre, "", 300, 118},
        {SizeUnit::Inch, "1.5", 101, 151},        {SizeUnit::Pixel, "0", 72, 1},
        {SizeUnit::Centimetre, "10", 300, 1181},  {SizeUnit::Inch, "1", 72, 72},
    };
    for (const Case& c : cases) {
        BackgroundLayer background;
        background.unit = c.unit;
        setBackgroundSizeTexts(background, c.text, "12345678", c.dpi);
        EXPECT_EQ(background.dpi, c.dpi);
        EXPECT_EQ(background.width, c.pixels) << c.text;
        EXPECT_EQ(background.szWidth, c.text) << "the text is kept as typed";
        EXPECT_EQ(background.szHeight, "1234567");
    }
}

TEST(PanelRules, CanvasSizeLimits)
{
    const std::tuple<std::int32_t, std::int32_t, bool> sizes[] = {
        {16000, 8000, true},   {8000, 16000, true}, {11313, 11313, true},
        {1, 1, true},          {16001, 1, false},   {1, 16001, false},
        {11314, 11314, false}, {0, 800, false},     {2147483647, 1, false},
    };
    for (const auto& [width, height, drawable] : sizes) {
        BackgroundLayer background;
        background.width = width;
        background.height = height;
        EXPECT_EQ(isDrawableCanvas(background), drawable) << width << " x " << height;
    }

    struct Case {
        SizeUnit unit;
        std::int32_t dpi;
        std::int32_t width, height;
        bool widthTyped;
        const char* text;
    };
    const Case cases[] = {
        {SizeUnit::Pixel, 300, 20000, 800, true, "最大 16000 x 800 像素"},
        {SizeUnit::Pixel, 300, 10000, 99999, false, "最大 10000 x 12800 像素"},
        // The other side too large on its own is brought down to the largest side.
        {SizeUnit::Pixel, 300, 9999, 50000, true, "最大 8000 x 16000 像素"},
        {SizeUnit::Millimetre, 300, 23622, 800, true, "最大 1354.69 x 67.73 毫米"},
        {SizeUnit::Centimetre, 300, 800, 23622, false, "最大 6.77 x 135.47 厘米"},
        // 15867 pixels round to 13.223 inches, which is 15868: the text stays within the limits.
        {SizeUnit::Inch, 1200, 90000, 8067, true, "最大 13.222 x 6.722 英寸"},
    };
    for (const Case& c : cases) {
        BackgroundLayer background;
        background.unit = c.unit;
        background.dpi = c.dpi;
        background.width = c.width;
        background.height = c.height;
        EXPECT_EQ(largestCanvasText(background, c.widthTyped), c.text)
            << c.width << "x" << c.height;
    }
}

TEST(PanelRules, ColourTextAndCancel)
{
    BackgroundLayer background;
    EXPECT_EQ(backgroundColorText(background), "#ffffff");
    EXPECT_EQ(colorModeAfterCancel(backgroundColorText(background)), BackgroundColorMode::White);

    setBackgroundColorMode(background, BackgroundColorMode::Transparent);
    EXPECT_EQ(backgroundColorText(background), "none");
    EXPECT_EQ(colorModeAfterCancel("none"), BackgroundColorMode::Transparent);

    applyChosenColor(background, 0x0000FF);
    EXPECT_EQ(backgroundColorText(background), "#FF0000");
    EXPECT_EQ(background.colorMode, BackgroundColorMode::Chosen);
    EXPECT_EQ(background.drawingColor, 0x0000FFu);
    EXPECT_FALSE(background.hasAlpha);
    EXPECT_EQ(colorModeAfterCancel("#FF0000"), std::nullopt);
    // A white picked in the dialog is a chosen colour, not the white entry.
    EXPECT_EQ(colorModeAfterCancel("#FFFFFF"), std::nullopt);
}

TEST(PanelRules, CustomCanvasUsesItsOwnDpi)
{
    BackgroundLayer background;
    background.kind = BackgroundKind::Picture;
    background.unit = SizeUnit::Inch;
    background.szWidth = "2";
    background.szHeight = "1";
    background.dpi = 150;
    usePlaceholderPicture(background);
    EXPECT_EQ(background.width, 1);
    ASSERT_TRUE(background.picture);
    makeCustomCanvas(background, BackgroundColorMode::Transparent);
    EXPECT_EQ(background.kind, BackgroundKind::Custom);
    EXPECT_FALSE(background.picture);
    EXPECT_EQ(background.width, 300);
    EXPECT_EQ(background.height, 150);
    EXPECT_TRUE(background.hasAlpha);
}

TEST(PanelRules, FileNameEntryKeepsItsChoiceByText)
{
    const std::vector<std::string> columns = {"Name", "ID", "name"};
    EXPECT_EQ(fileNameEntryIndex(columns, "Name"), 1);
    EXPECT_EQ(fileNameEntryIndex(columns, "id"), 2);
    EXPECT_EQ(fileNameEntryIndex(columns, "phone"), 0);
    EXPECT_EQ(fileNameEntryIndex(columns, ""), 0);
    EXPECT_EQ(fileNameEntryIndex({}, "Name"), 0);
}

TEST(PanelRules, FolderBrowserSizeIsRaisedOncePerProcess)
{
    FolderBrowserSize state;
    EXPECT_EQ(settleFolderBrowserSize(state, 1920, 1040, 320, 384), std::pair(768, 572));
    EXPECT_TRUE(state.settled);
    // Later calls keep what the dialog had, even when the user made it small again.
    EXPECT_EQ(settleFolderBrowserSize(state, 1920, 1040, 768, 572), std::pair(768, 572));
    EXPECT_EQ(settleFolderBrowserSize(state, 1920, 1040, 300, 200), std::pair(300, 200));
    // A size that does not fit the screen is not taken.
    EXPECT_EQ(settleFolderBrowserSize(state, 1920, 1040, 2000, 900), std::pair(300, 200));

    FolderBrowserSize fresh;
    EXPECT_EQ(settleFolderBrowserSize(fresh, 1920, 1040, 2000, 1100), std::nullopt);
    EXPECT_FALSE(fresh.settled);
    EXPECT_EQ(settleFolderBrowserSize(fresh, 1920, 1040, -1, -1), std::nullopt);
    EXPECT_EQ(settleFolderBrowserSize(fresh, 1920, 1040, 1000, 500), std::pair(1000, 500));
}

TEST(PanelRules, FolderBrowserSizeComesFromTheSettingsAndARaiseIsStored)
{
    test::TempDir dir;
    const SettingsStore store(dir.path() / "settings.json");
    FolderBrowserSize state;
    EXPECT_EQ(settleFolderBrowserSize(state, 1920, 1040, store), std::nullopt);
    EXPECT_FALSE(state.settled) << "nothing stored settles nothing";

    ASSERT_TRUE(writeFolderBrowserSize(store, 320, 384));
    EXPECT_EQ(settleFolderBrowserSize(state, 1920, 1040, store), std::pair(768, 572));
    EXPECT_EQ(storedFolderBrowserSize(store), std::pair(768, 572));
    // Raised once per process: a small size stored later is kept as it is.
    ASSERT_TRUE(writeFolderBrowserSize(store, 300, 200));
    EXPECT_EQ(settleFolderBrowserSize(state, 1920, 1040, store), std::pair(300, 200));
    EXPECT_EQ(storedFolderBrowserSize(store), std::pair(300, 200));
    // Half a size is no size.
    ASSERT_TRUE(store.deleteSetting(kSettingsKey, "Browse For Folder Height"));
    FolderBrowserSize fresh;
    EXPECT_EQ(settleFolderBrowserSize(fresh, 1920, 1040, store), std::nullopt);
}

} // namespace
} // namespace torvale
