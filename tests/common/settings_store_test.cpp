#include "common/settings_store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace torvale {
namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string filePath = dir.file("settings.json");
    SettingsStore store{filePath};

    std::optional<std::int32_t> number(const std::string& key, const std::string& name) const
    {
        std::int32_t value = 0;
        return store.readSettingNumber(key, name, value) ? std::optional(value) : std::nullopt;
    }
};

TEST_F(SettingsStoreTest, ValuesAreSeenByAnotherStoreOnTheSameFile)
{
    SettingsStore nested(dir.path() / "a" / "b" / "settings.json"); // folders are created
    for (const SettingsStore* writer : {&store, &nested}) {
        ASSERT_TRUE(writer->writeSettingText(kSettingsKey, "folder", "/home/张三/桌面"));
        ASSERT_TRUE(writer->writeSettingNumber(kSettingsKey, "low", INT32_MIN));
        ASSERT_TRUE(writer->writeSettingNumber(kSettingsKey, "dpi", 300));
        const SettingsStore reader(writer->file());
        std::string text;
        EXPECT_TRUE(reader.readSettingText(kSettingsKey, "folder", text, 100));
        EXPECT_EQ(text, "/home/张三/桌面");
        std::int32_t value = 0;
        EXPECT_TRUE(reader.readSettingNumber(kSettingsKey, "low", value));
        EXPECT_EQ(value, INT32_MIN);
        ASSERT_TRUE(reader.writeSettingNumber(kSettingsKey, "dpi", 96));
        EXPECT_TRUE(writer->readSettingNumber(kSettingsKey, "dpi", value));
        EXPECT_EQ(value, 96);
    }
}

TEST_F(SettingsStoreTest, MissingAndWrongTypedValuesReadAsMissing)
{
    EXPECT_EQ(number("k", "n"), std::nullopt); // no file at all
    test::writeFile(filePath, R"({"k": {"text": 5, "num": "5", "frac": 1.5, "big": 5e9},
                                  "list": [1, 2]})");
    std::string text = "unchanged";
    EXPECT_FALSE(store.readSettingText("k", "text", text, 100));
    EXPECT_FALSE(store.readSettingText("k", "absent", text, 100));
    EXPECT_EQ(text, "unchanged");
    for (const char* name : {"num", "frac", "big", "absent"})
        EXPECT_EQ(number("k", name), std::nullopt) << name;
    EXPECT_EQ(number("list", "0"), std::nullopt);
    EXPECT_TRUE(store.textValues("list").empty());

    // Writing replaces what is of the wrong type.
    ASSERT_TRUE(store.writeSettingNumber("list", "n", 3));
    ASSERT_TRUE(store.writeSettingNumber("k", "text", 4));
    EXPECT_EQ(number("list", "n"), 3);
    EXPECT_EQ(number("k", "text"), 4);
}

TEST_F(SettingsStoreTest, CapacityCountsUtf16UnitsAndTheTerminator)
{
    // "中" is one unit, U+1F600 two: four units in all, five with the terminator.
    ASSERT_TRUE(store.writeSettingText(kSettingsKey, "v", "a中\xF0\x9F\x98\x80"));
    std::string text;
    EXPECT_FALSE(store.readSettingText(kSettingsKey, "v", text, 4));
    EXPECT_TRUE(store.readSettingText(kSettingsKey, "v", text, 5));
    EXPECT_EQ(text, "a中\xF0\x9F\x98\x80");
}

TEST_F(SettingsStoreTest, TextValuesInStoredOrderAndDelete)
{
    ASSERT_TRUE(store.writeSettingText(kFontsKey, "Zeta", "z.ttf"));
    ASSERT_TRUE(store.writeSettingNumber(kFontsKey, "count", 2));
    ASSERT_TRUE(store.writeSettingText(kFontsKey, "Alpha", "a.ttf"));
    ASSERT_TRUE(store.writeSettingText(kFontsKey, "Zeta", "z2.ttf")); // replaced in place
    using Values = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(store.textValues(kFontsKey), (Values{{"Zeta", "z2.ttf"}, {"Alpha", "a.ttf"}}));

    EXPECT_TRUE(store.deleteSetting(kFontsKey, "Zeta"));
    EXPECT_FALSE(store.deleteSetting(kFontsKey, "Zeta"));
    EXPECT_FALSE(store.deleteSetting("absent", "Alpha"));
    EXPECT_EQ(store.textValues(kFontsKey), (Values{{"Alpha", "a.ttf"}}));
}

TEST_F(SettingsStoreTest, CorruptFileReadsAsEmptyAndIsKeptWhenRewritten)
{
    for (const char* content : {"{\"k\": {\"n\": 1}", "[1, 2, 3]"}) {
        test::writeFile(filePath, content);
        EXPECT_EQ(number("k", "n"), std::nullopt) << content;
    }
    test::writeFile(filePath, "first damage");
    EXPECT_FALSE(store.deleteSetting("k", "n")); // nothing changes, nothing is rewritten
    EXPECT_EQ(test::readFile(filePath), "first damage");

    ASSERT_TRUE(store.writeSettingNumber("k", "n", 1));
    test::writeFile(filePath, "second damage");
    ASSERT_TRUE(store.writeSettingNumber("k", "n", 2));
    EXPECT_EQ(test::readFile(filePath + ".corrupt"), "first damage");
    EXPECT_EQ(test::readFile(filePath + ".corrupt.1"), "second damage");
    EXPECT_EQ(number("k", "n"), 2);
}

TEST_F(SettingsStoreTest, UnreadableFileIsNeverReplaced)
{
    std::filesystem::create_directory(filePath);
    EXPECT_FALSE(store.writeSettingNumber("k", "n", 1));
    EXPECT_TRUE(std::filesystem::is_directory(filePath));
}

TEST_F(SettingsStoreTest, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int kWrites = 30;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    const std::string prefix = child == 0 ? "child" : "parent";
    for (int i = 0; i < kWrites; ++i)
        store.writeSettingNumber(kSettingsKey, prefix + std::to_string(i), i);
    if (child == 0)
        _exit(0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    for (const char* who : {"child", "parent"}) {
        for (int i = 0; i < kWrites; ++i)
            EXPECT_EQ(number(kSettingsKey, who + std::to_string(i)), i) << who;
    }
}

} // namespace
} // namespace torvale
