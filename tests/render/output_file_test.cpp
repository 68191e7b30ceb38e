#include "render/output_file.h"
#include "support/test_support.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace torvale {
namespace {

using test::readFile;
using test::TempDir;

TEST(SanitizeFileName, ReplacesEveryUnsafeCharacterWithAHyphen)
{
    EXPECT_EQ(sanitizeFileName("a\\b/c:d*e?f\"g<h>i|j k\tl\rm\nn"), "a-b-c-d-e-f-g-h-i-j-k-l-m-n");
    EXPECT_EQ(sanitizeFileName("张 伟%50"), "张-伟%50");
    EXPECT_EQ(sanitizeFileName(std::string("a\0b\0", 4)), "a-b-");
    // Terminal escapes, C1 controls and the line and paragraph separators become "-"; the
    // format characters, which show nothing (the bidirectional overrides that make "gpj.exe"
    // look like "exe.jpg", zero-width spaces, the byte order mark, tags), are left out.
    EXPECT_EQ(sanitizeFileName("\x1b[31mred\x7f\xc2\x9b"), "-[31mred--");
    EXPECT_EQ(sanitizeFileName("a\u2028b\u2029c"), "a-b-c");
    EXPECT_EQ(sanitizeFileName("a\u202egpj\u2066b\u2069"), "agpjb");
    EXPECT_EQ(sanitizeFileName("\u200f名\u200b字\ufeff\u00ad\U000E0041\u00a0"), "名字\u00a0");
    EXPECT_EQ(sanitizeFileName("\ufeff"), "");
}

TEST(NumberedPath, AddsTheNumberFromTwoOn)
{
    EXPECT_EQ(numberedPath("/out", "Wang", 1, ".jpg"), "/out/Wang.jpg");
    EXPECT_EQ(numberedPath("/out", "Wang", 2, ".jpg"), "/out/Wang(2).jpg");
}

TEST(WriteFileUnderFreeName, NeverReplacesAnExistingFile)
{
    TempDir dir;
    const std::string folder = dir.path().string();
    test::writeFile(dir.file("Wang.jpg"), "old");
    std::filesystem::create_directory(dir.path() / "Wang(2).jpg");

    const std::vector<unsigned char> bytes{'n', 'e', 'w'};
    const WrittenFile first = writeFileUnderFreeName(folder, "Wang", ".jpg", bytes);
    ASSERT_TRUE(first.ok);
    EXPECT_EQ(first.path, dir.file("Wang(3).jpg"));
    EXPECT_EQ(readFile(dir.file("Wang.jpg")), "old");
    EXPECT_EQ(readFile(first.path), "new");

    const WrittenFile second = writeFileUnderFreeName(folder, "Wang", ".jpg", bytes);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(second.path, dir.file("Wang(4).jpg"));

    // Nothing but the cards is left behind (no temporary files).
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 4u);
}

// Where hard links do not work, cards are named by this exclusive create.
TEST(CreateFileExclusive, NeverOpensAnExistingName)
{
    TempDir dir;
    test::writeFile(dir.file("Wang.jpg"), "old");
    std::filesystem::create_symlink(dir.file("elsewhere.jpg"), dir.path() / "link.jpg");
    for (const char* taken : {"Wang.jpg", "link.jpg"}) {
        errno = 0;
        EXPECT_LT(createFileExclusive(dir.file(taken).c_str()).get(), 0) << taken;
        EXPECT_EQ(errno, EEXIST) << taken;
    }
    EXPECT_EQ(readFile(dir.file("Wang.jpg")), "old");
    EXPECT_FALSE(std::filesystem::exists(dir.file("elsewhere.jpg")));

    const UniqueFd created = createFileExclusive(dir.file("Li.jpg").c_str());
    ASSERT_GE(created.get(), 0);
    EXPECT_TRUE(writeAllBytes(created.get(), "new", 3));
    EXPECT_EQ(readFile(dir.file("Li.jpg")), "new");
}

TEST(WriteFileUnderFreeName, ReportsAFolderThatCannotBeWritten)
{
    TempDir dir;
    const WrittenFile missing = writeFileUnderFreeName(dir.file("missing"), "a", ".png", {'x'});
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.openFailed);
    EXPECT_EQ(missing.path, dir.file("missing/a.png"));

    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    ::chmod(dir.path().c_str(), 0500);
    const WrittenFile readOnly = writeFileUnderFreeName(dir.path().string(), "a", ".png", {'x'});
    EXPECT_FALSE(readOnly.ok);
    EXPECT_TRUE(readOnly.openFailed);
}

TEST(WriteFileUnderFreeName, HintsSkipTakenNumbersAndStillNeverOverwrite)
{
    TempDir dir;
    const std::string folder = dir.path().string();
    const std::vector<unsigned char> bytes{'c'};
    FreeNameHints hints;
    for (const char* expected : {"N.jpg", "N(2).jpg"})
        EXPECT_EQ(writeFileUnderFreeName(folder, "N", ".jpg", bytes, &hints).path,
                  dir.file(expected));
    // Another program takes the next number; a freed lower number is not gone back to.
    test::writeFile(dir.file("N(3).jpg"), "other");
    std::filesystem::remove(dir.path() / "N.jpg");
    EXPECT_EQ(writeFileUnderFreeName(folder, "N", ".jpg", bytes, &hints).path,
              dir.file("N(4).jpg"));
    EXPECT_EQ(readFile(dir.file("N(3).jpg")), "other");
    // Names differ by extension and folder.
    EXPECT_EQ(writeFileUnderFreeName(folder, "N", ".png", bytes, &hints).path, dir.file("N.png"));
}

TEST(FullRunNumbers, NumbersEqualNamesAsOneRunIntoAnEmptyFolder)
{
    // A card named "a(2)" takes the second "a"'s place; extensions keep their own numbers.
    const struct {
        const char* name;
        const char* extension;
        int number;
    } cards[] = {{"a", ".png", 1},    {"a(2)", ".png", 1}, {"a", ".png", 3}, {"a", ".jpg", 1},
                 {"a(3)", ".png", 2}, {"a", ".png", 4},    {"b", ".png", 1}, {"a", ".png", 5}};
    FullRunNumbers numbers;
    for (const auto& card : cards)
        EXPECT_EQ(numbers.next(card.name, card.extension), card.number) << card.name;

    // Writing from a card's own number never replaces a file: it moves on, and is told.
    TempDir dir;
    test::writeFile(dir.file("a(3).png"), "old");
    const WrittenFile third =
        writeFileUnderFreeName(dir.path().string(), "a", ".png", {'x'}, nullptr, 3);
    EXPECT_EQ(third.path, dir.file("a(4).png"));
    EXPECT_EQ(readFile(dir.file("a(3).png")), "old");
}

TEST(RemoveStaleTemporaries, OnlyOldFilesOfTheExactPattern)
{
    TempDir dir;
    const std::string folder = dir.path().string();
    const std::string stale = ".torvale-card-0123456789abcdef";
    const char* kept[] = {".torvale-card-0123456789abcde", ".torvale-card-0123456789ABCDEF",
                          ".torvale-card-0123456789abcdef0", "torvale-card-0123456789abcdef",
                          ".torvale-card-fresh00000000000"};
    test::writeFile(dir.file(stale), "x");
    for (const char* name : kept)
        test::writeFile(dir.file(name), "x");
    std::filesystem::create_directory(dir.path() / ".torvale-card-aaaaaaaaaaaaaaaa");
    const std::string fresh = ".torvale-card-ffffffffffffffff";
    test::writeFile(dir.file(fresh), "x");

    const std::time_t now = std::time(nullptr);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path().filename() == fresh)
            continue;
        const struct timespec times[2] = {{now - 3600, 0}, {now - 3600, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, entry.path().c_str(), times, 0), 0);
    }
    EXPECT_EQ(removeStaleTemporaries(folder, now - 600), 1u);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / stale));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / fresh));
    for (const char* name : kept)
        EXPECT_TRUE(std::filesystem::exists(dir.path() / name)) << name;
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / ".torvale-card-aaaaaaaaaaaaaaaa"));
}

TEST(ProbeWritableFolder, LeavesNothingBehind)
{
    TempDir dir;
    EXPECT_EQ(probeWritableFolder(dir.path().string()), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ(probeWritableFolder(dir.file("missing")), ENOENT);
}

} // namespace
} // namespace torvale
