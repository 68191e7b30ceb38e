#include "common/text.h"
#include "render/picture_input.h"
#include "render/picture_orientation.h"
#include "render/test_pictures.h"
#include "support/test_support.h"

#include <atomic>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <thread>

#include <filesystem>

namespace torvale {
namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

std::string be32(std::uint32_t v)
{
    return bytes({int(v >> 24), int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255)});
}
std::string le32(std::uint32_t v)
{
    return bytes({int(v & 255), int(v >> 8 & 255), int(v >> 16 & 255), int(v >> 24)});
}
std::string be16(unsigned v)
{
    return bytes({int(v >> 8), int(v & 255)});
}
std::string le16(unsigned v)
{
    return bytes({int(v & 255), int(v >> 8)});
}

std::string pngHeader(std::uint32_t width, std::uint32_t height)
{
    return bytes({0x89, 'P', 'N', 'G', 13, 10, 26, 10}) + be32(13) + "IHDR" + be32(width) +
           be32(height) + bytes({8, 2, 0, 0, 0});
}

std::string bmpHeader(std::uint32_t fileSize, std::int32_t width, std::int32_t height)
{
    return "BM" + le32(fileSize) + std::string(12, '\0') + le32(static_cast<std::uint32_t>(width)) +
           le32(static_cast<std::uint32_t>(height)) + std::string(8, '\0');
}

std::string jpegFrame(int marker, unsigned width, unsigned height)
{
    return bytes({0xFF, 0xD8, 0xFF, 0xE0}) + be16(16) + "JFIF" + std::string(10, '\0') +
           bytes({0xFF, marker}) + be16(17) + bytes({8}) + be16(height) + be16(width) +
           std::string(12, '\0');
}

// A TIFF with one directory of width and height entries of the given TIFF type (3 = SHORT,
// 4 = LONG), in the byte order of the signature.
std::string tiff(bool bigEndian, unsigned type, std::uint32_t width, std::uint32_t height)
{
    const auto u16 = [&](unsigned v) { return bigEndian ? be16(v) : le16(v); };
    const auto u32 = [&](std::uint32_t v) { return bigEndian ? be32(v) : le32(v); };
    const auto value = [&](std::uint32_t v) { return type == 4 ? u32(v) : u16(v) + u16(0); };
    return std::string(bigEndian ? "MM" : "II") + u16(42) + u32(8) + u16(3) + u16(254) + u16(4) +
           u32(1) + u32(0) + // an unrelated tag first
           u16(256) + u16(type) + u32(1) + value(width) + u16(257) + u16(type) + u32(1) +
           value(height) + u32(0);
}

struct SniffCase {
    const char* name;
    std::string content;
    const char* format; // nullptr: the sniff fails
    std::int32_t width, height;
    std::int64_t byteSize; // -1: the file's length
};

class SniffPictureTest : public ::testing::TestWithParam<SniffCase> {};

TEST_P(SniffPictureTest, Identifies)
{
    const SniffCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.file("picture.png");
    test::writeFile(path, c.content);

    const auto info = sniffPicture(path);
    if (!c.format) {
        EXPECT_FALSE(info.has_value());
        return;
    }
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->format, c.format);
    EXPECT_EQ(info->width, c.width);
    EXPECT_EQ(info->height, c.height);
    EXPECT_EQ(info->byteSize, c.byteSize < 0 ? std::int64_t(c.content.size()) : c.byteSize);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, SniffPictureTest,
    ::testing::Values(
        SniffCase{"Png", pngHeader(300, 200), "PNG", 300, 200, -1},
        SniffCase{"PngWidthModulo", pngHeader(65536 + 300, 200), "PNG", 300, 200, -1},
        SniffCase{"PngWidth65536", pngHeader(65536, 200), nullptr, 0, 0, 0},
        SniffCase{"BmpTopDown", bmpHeader(5000, 40, -30), "BMP", 40, 30, 5000},
        SniffCase{"BmpOldHeader",
                  "BM" + le32(900) + std::string(12, '\0') + le16(40) + le16(30) + le16(1) +
                      le16(24) + std::string(6, '\0'),
                  "BMP", 40, 30, 900},
        SniffCase{"BmpNoStoredSize", bmpHeader(0, 40, 30), nullptr, 0, 0, 0},
        SniffCase{"JpegBaseline", jpegFrame(0xC0, 640, 480), "JPEG", 640, 480, -1},
        SniffCase{"JpegProgressive", jpegFrame(0xC2, 64, 48), "JPEG", 64, 48, -1},
        SniffCase{"JpegBadSegmentByte", bytes({0xFF, 0xD8, 0x00, 0xE0}) + jpegFrame(0xC0, 8, 8),
                  nullptr, 0, 0, 0},
        SniffCase{"JpegSegmentPastEnd", bytes({0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0x00, 0, 0}), nullptr,
                  0, 0, 0},
        SniffCase{"JpegSegmentLengthBelowTwo",
                  bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 1, 0xFF, 0xE0, 0, 0}), nullptr, 0, 0, 0},
        SniffCase{"JpegOneByte", bytes({0xFF}), nullptr, 0, 0, 0},
        SniffCase{"JpegSignatureOnly", bytes({0xFF, 0xD8}), nullptr, 0, 0, 0},
        SniffCase{"Gif", "GIF89a" + le16(17) + le16(9) + std::string(8, '\0'), "GIF", 17, 9, -1},
        SniffCase{"TiffLittleEndian", tiff(false, 3, 640, 480), "TIFF", 640, 480, -1},
        SniffCase{"TiffBigEndian", tiff(true, 3, 640, 480), "TIFF", 640, 480, -1},
        SniffCase{"TiffBigEndianLong", tiff(true, 4, 640, 480), "TIFF", 640, 480, -1},
        SniffCase{"TiffNoEntries", "II" + le16(42) + le32(8) + le16(0) + le32(0), nullptr, 0, 0, 0},
        SniffCase{"TiffDirectoryPastEnd", "MM" + be16(42) + be32(4000) + std::string(8, '\0'),
                  nullptr, 0, 0, 0},
        SniffCase{"Psd",
                  "8BPS" + be16(1) + std::string(6, '\0') + be16(3) + be32(70) + be32(90) +
                      be16(8) + be16(3),
                  "PSD", 90, 70, -1},
        SniffCase{"Text", std::string("just some text, not a picture"), nullptr, 0, 0, 0},
        SniffCase{"Empty", std::string(), nullptr, 0, 0, 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(FileTests, FoldersAreNotFiles)
{
    test::TempDir dir;
    const std::string file = dir.file("a.png");
    test::writeFile(file, "12345");
    EXPECT_TRUE(fileExists(file));
    EXPECT_EQ(fileSize(file), 5);
    EXPECT_FALSE(directoryExists(file));

    const std::string folder = dir.path().string();
    EXPECT_FALSE(fileExists(folder));
    EXPECT_EQ(fileSize(folder), -1);
    EXPECT_TRUE(directoryExists(folder));
    EXPECT_FALSE(sniffPicture(folder).has_value());
    EXPECT_FALSE(readPicture(folder));

    EXPECT_FALSE(fileExists(dir.file("missing.png")));
    EXPECT_EQ(fileSize(dir.file("missing.png")), -1);
    EXPECT_FALSE(directoryExists(dir.file("missing")));
}

TEST(ReadPicture, MultiFrameGifGivesTheFirstFrame)
{
    MagickWandPtr frames = newCanvas(12, 10, "red");
    MagickWandPtr second = newCanvas(12, 10, "blue");
    MagickAddImage(frames.get(), second.get());
    test::TempDir dir;
    const std::string path = dir.file("anim.gif");
    test::writeFile(path, test::encodePicture(frames.get(), "GIF"));

    DecodedPicture picture = readPicture(path);
    ASSERT_TRUE(picture);
    EXPECT_EQ(MagickGetNumberImages(picture.wand.get()), 1u);
    EXPECT_EQ(test::pixelAt(picture.wand.get(), 5, 5)[0], 65535);
    EXPECT_EQ(test::pixelAt(picture.wand.get(), 5, 5)[2], 0);
}

TEST(ReadPicture, FramesAfterTheFirstAreNeverDecoded)
{
    // The second frame claims 60000 x 60000 pixels, beyond every decode limit: decoding all the
    // frames failed the whole picture (and a GIF of 300 000 tiny frames took gigabytes).
    std::string gif = test::solidPictureBytes(4, 3, "red", "GIF");
    ASSERT_EQ(gif.back(), ';');
    gif.pop_back();
    gif += std::string("\x2C\0\0\0\0\x60\xEA\x60\xEA\0\x02\x02\x4C\x01\0;", 16);
    test::TempDir dir;
    const std::string path = dir.file("two.gif");
    test::writeFile(path, gif);

    DecodedPicture picture = readPicture(path);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture.width, 4u);
    EXPECT_EQ(MagickGetNumberImages(picture.wand.get()), 1u);
}

TEST(ReadPicture, DamagedJpegThatDecodesToNothingFails)
{
    // Scan data before the frame header: the library reports an error and still hands back an
    // image of 0 x 0 pixels, which must not count as a picture (a fuzzer's find).
    const std::string hex =
        "ffd8d7d8d9dae1e2e3e4e5e6e7e8e9eaf1f2f3f4f5f6f7f8f9faffda0008010100002463cb9645427381d810"
        "3fce2bffd9d7d8d9dae1e2e36361636865e9eaf1f2f3f4f5f6f9faffda0008010100003f00e9103fce2bffd9";
    std::string jpeg;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        jpeg += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    EXPECT_FALSE(decodePicture(reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size()));
}

TEST(ReadPicture, CutOrCorruptPicturesAreDecodedAsFarAsTheyGoAndCalledDamaged)
{
    const std::string photo =
        test::readFile(std::string(TORVALE_SOURCE_DIR) + "/examples/badge/photos/p02.jpg");
    std::string flipped = photo;
    for (std::size_t i = photo.size() / 3; i < photo.size() * 5 / 6; i += photo.size() / 20)
        flipped[i] = static_cast<char>(flipped[i] ^ 0x10);
    MagickWandPtr decoded(NewMagickWand());
    ASSERT_TRUE(MagickReadImageBlob(decoded.get(), photo.data(), photo.size()));
    const std::string png = test::encodePicture(decoded.get(), "PNG");
    const struct {
        const char* name;
        std::string bytes;
        bool decodes;
        bool damaged;
        bool complete; // as the header check sees it
    } cases[] = {
        {"whole.jpg", photo, true, false, true},
        {"half.jpg", photo.substr(0, photo.size() / 2), true, true, false},
        {"cut.jpg", photo.substr(0, photo.size() * 95 / 100), true, true, false},
        {"flipped.jpg", flipped, true, true, true},
        {"whole.png", png, true, false, true},
        {"cut.png", png.substr(0, png.size() / 2), false, false, false},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeFile(dir.file(c.name), c.bytes);
        const DecodedPicture picture = readPicture(dir.file(c.name));
        EXPECT_EQ(static_cast<bool>(picture), c.decodes);
        EXPECT_EQ(picture.damaged, c.damaged);
        const auto info = sniffPicture(dir.file(c.name));
        ASSERT_TRUE(info);
        EXPECT_EQ(info->complete, c.complete);
    }
}

TEST(ReadPicture, ManyThreadsReadLargeFilesWithinOneBudget)
{
    // Every thread gets its picture: the shared bound on bytes read makes them wait in turn,
    // never fail or deadlock.
    test::TempDir dir;
    const std::string path = dir.file("big.png");
    std::string png = test::solidPictureBytes(64, 64, "blue", "PNG");
    test::writeFile(path, png);
    std::atomic<int> decoded{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            for (int k = 0; k < 20; ++k)
                decoded += readPicture(path) ? 1 : 0;
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(decoded.load(), 8 * 20);
}

TEST(ReadPicture, CmykJpegIsReadAsSrgb)
{
    MagickWandPtr cmyk = newCanvas(16, 16, "red");
    MagickTransformImageColorspace(cmyk.get(), CMYKColorspace);
    test::TempDir dir;
    const std::string path = dir.file("cmyk.jpg");
    test::writeFile(path, test::encodePicture(cmyk.get(), "JPEG"));

    DecodedPicture picture = readPicture(path);
    ASSERT_TRUE(picture);
    EXPECT_EQ(MagickGetImageColorspace(picture.wand.get()), sRGBColorspace);
    const auto rgb = test::pixelAt(picture.wand.get(), 8, 8);
    EXPECT_GT(rgb[0], 60000);
    EXPECT_LT(rgb[1], 5000);
    EXPECT_LT(rgb[2], 5000);
}

std::uint32_t crc32(const std::string& data)
{
    std::uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

TEST(ReadPicture, HugeClaimedSizeFailsCleanly)
{
    std::string png = test::solidPictureBytes(8, 8, "red", "PNG");
    png.replace(16, 8, be32(60000) + be32(60000));
    png.replace(29, 4, be32(crc32(png.substr(12, 17))));
    test::TempDir dir;
    const std::string path = dir.file("huge.png");
    test::writeFile(path, png);

    const auto info = sniffPicture(path);
    ASSERT_TRUE(info.has_value());
    EXPECT_FALSE(withinDecodeLimits(info->fullWidth, info->fullHeight));
    EXPECT_FALSE(readPicture(path));
}

TEST(SniffPicture, FullSizeAndCutPngs)
{
    test::TempDir dir;
    const std::string png = test::solidPictureBytes(8, 8, "red", "PNG");
    const std::string iend = be32(0) + "IEND" + be32(crc32("IEND"));
    const struct {
        const char* name;
        std::string content;
        std::int64_t fullWidth;
        bool complete;
    } cases[] = {
        {"whole", png, 8, true},
        {"cut_in_a_chunk", png.substr(0, png.size() / 2), 8, false},
        {"cut_before_the_end", png.substr(0, png.size() - 12), 8, false},
        {"bytes_after_the_end", png + "appended", 8, true},
        {"beyond_16_bits", pngHeader(65536 + 300, 20) + be32(0) + iend, 65536 + 300, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".png");
        test::writeFile(path, c.content);
        const auto info = sniffPicture(path);
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->fullWidth, c.fullWidth);
        EXPECT_EQ(info->complete, c.complete);
        // The image library refuses what the header check calls cut short.
        if (!c.complete) {
            EXPECT_FALSE(readPicture(path));
        }
    }
}

TEST(DecodedPictureSize, IsTheSizeReadPictureDecodes)
{
    test::TempDir dir;
    const std::string path = dir.file("photo.jpg");
    test::writeFile(path, test::solidPictureBytes(2000, 1500, "green", "JPEG"));
    const auto info = sniffPicture(path);
    ASSERT_TRUE(info.has_value());
    const std::pair<std::size_t, std::size_t> wanted[] = {
        {0, 0}, {100, 50}, {252, 352}, {300, 200}, {999, 1}, {1000, 750}, {1001, 10},
    };
    for (const auto& [width, height] : wanted) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const DecodedPicture picture = readPicture(path, width, height);
        ASSERT_TRUE(picture);
        const auto [decodedWidth, decodedHeight] = decodedPictureSize(*info, width, height);
        EXPECT_EQ(decodedWidth, static_cast<std::int64_t>(MagickGetImageWidth(picture.wand.get())));
        EXPECT_EQ(decodedHeight,
                  static_cast<std::int64_t>(MagickGetImageHeight(picture.wand.get())));
    }
}

TEST(ReadPicture, NamesAreNeverInterpreted)
{
    test::TempDir dir;
    const std::string png = test::solidPictureBytes(6, 4, "red", "PNG");
    for (const char* name : {"照片 100%d%[0].png", "a[0].png", "png:b.png", "c.txt"}) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        test::writeFile(path, png);
        DecodedPicture picture = readPicture(path);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture.width, 6u);
        EXPECT_EQ(picture.height, 4u);
    }
    // Library prefixes name no file here, and plain text has no picture signature.
    EXPECT_FALSE(readPicture("text:/etc/passwd"));
    EXPECT_FALSE(readPicture("/etc/passwd"));
    EXPECT_FALSE(readPicture("logo:"));
}

TEST(ReadPicture, ReducedJpegDecodeReportsTheRealSize)
{
    test::TempDir dir;
    const std::string big = dir.file("big.jpg");
    test::writeFile(big, test::solidPictureBytes(800, 400, "green", "JPEG"));
    DecodedPicture reduced = readPicture(big, 100, 50);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced.width, 800u);
    EXPECT_EQ(reduced.height, 400u);
    EXPECT_GE(MagickGetImageWidth(reduced.wand.get()), 100u);
    EXPECT_GE(MagickGetImageHeight(reduced.wand.get()), 50u);
    EXPECT_LE(MagickGetImageWidth(reduced.wand.get()), 200u);

    // Less than twice the wanted size: decoded whole.
    const std::string small = dir.file("small.jpg");
    test::writeFile(small, test::solidPictureBytes(150, 75, "green", "JPEG"));
    DecodedPicture whole = readPicture(small, 100, 50);
    ASSERT_TRUE(whole);
    EXPECT_EQ(MagickGetImageWidth(whole.wand.get()), 150u);
    EXPECT_EQ(whole.width, 150u);
}

struct ValidateCase {
    const char* name;
    const char* fileName;     // nullptr: no file is written
    const char* format;       // the file's content
    const char* layerMessage; // nullptr: passes; "%s" is the path
    const char* backgroundMessage;
};

class ValidatePictureTest : public ::testing::TestWithParam<ValidateCase> {};

TEST_P(ValidatePictureTest, Messages)
{
    const ValidateCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.file(c.fileName ? c.fileName : "missing.png");
    if (c.fileName) {
        test::writeFile(path, std::string_view(c.format) == "TEXT"
                                  ? std::string("not a picture")
                                  : test::solidPictureBytes(4, 4, "red", c.format));
    }
    const auto layer = validatePictureFile(path, PictureKind::Layer);
    const auto background = validatePictureFile(path, PictureKind::Background);
    if (!c.layerMessage) {
        EXPECT_FALSE(layer.has_value()) << *layer;
        EXPECT_FALSE(background.has_value()) << *background;
        return;
    }
    ASSERT_TRUE(layer && background);
    EXPECT_EQ(*layer, formatText(c.layerMessage, path.c_str()));
    EXPECT_EQ(*background, formatText(c.backgroundMessage, path.c_str()));
}

INSTANTIATE_TEST_SUITE_P(
    Checks, ValidatePictureTest,
    ::testing::Values(
        ValidateCase{"Missing", nullptr, "PNG", "图片 '%s' 不存在，请重新选择。",
                     "背景图片 '%s' 已不存在，请重新选择。"},
        ValidateCase{"BmpName", "a.bmp", "BMP",
                     "图片 '%s' 格式不对，请重新选择。\n\n支持的格式: png, jpg, gif",
                     "背景图片 '%s' 格式不对，请重新选择。\n\n支持的格式: png, jpg, gif"},
        ValidateCase{"TextAsPng", "a.png", "TEXT", "图片 '%s' 不是一个有效的图片，请重新选择。",
                     "背景图片 '%s' 不是一个有效的图片，请重新选择。"},
        ValidateCase{
            "TiffAsPng", "a.png", "TIFF",
            "图片 '%s' 内部数据格式不受支持，请重新选择。\n\n支持的格式: png, jpg, gif",
            "背景图片 '%s' 内部数据格式不受支持，请重新选择。\n\n支持的格式: png, jpg, gif"},
        ValidateCase{"CapitalGif", "a.GIF", "GIF", nullptr, nullptr},
        ValidateCase{"PngAsJpg", "a.jpg", "PNG", nullptr, nullptr},
        ValidateCase{"Jpeg", "a.JPEG", "JPEG", nullptr, nullptr}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(LoadBackgroundPicture, KeepsBytesSizeAndAlpha)
{
    test::TempDir dir;
    const std::string path = dir.file("bg.png");
    test::writeFile(path, test::solidPictureBytes(30, 20, "#00ff0080", "PNG"));
    BackgroundLayer background;
    ASSERT_TRUE(loadBackgroundPicture(path, background));
    ASSERT_TRUE(background.picture);
    EXPECT_EQ(background.width, 30);
    EXPECT_EQ(background.height, 20);
    EXPECT_TRUE(background.hasAlpha);
    const auto& stored = background.picture->bytes;
    ASSERT_GT(stored.size(), 8u);
    EXPECT_EQ(stored[0], 0x89); // still a PNG
    DecodedPicture again = decodePicture(stored.data(), stored.size());
    ASSERT_TRUE(again);
    EXPECT_EQ(again.width, 30u);
}

TEST(LoadBackgroundPicture, UnreadablePictureGivesWhitePixel)
{
    test::TempDir dir;
    const std::string path = dir.file("broken.jpg");
    test::writeFile(path, bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 16}));
    BackgroundLayer background;
    background.hasAlpha = true;
    EXPECT_FALSE(loadBackgroundPicture(path, background));
    EXPECT_EQ(background.width, 1);
    EXPECT_EQ(background.height, 1);
    EXPECT_FALSE(background.hasAlpha);
    ASSERT_TRUE(background.picture);
    const auto& stored = background.picture->bytes;
    ASSERT_GT(stored.size(), 2u);
    EXPECT_EQ(stored[0], 0xFF); // a JPEG
    DecodedPicture pixel = decodePicture(stored.data(), stored.size());
    ASSERT_TRUE(pixel);
    EXPECT_EQ(pixel.width, 1u);
    EXPECT_GT(test::pixelAt(pixel.wand.get(), 0, 0)[1], 65000);
}

// An EXIF block (a big-endian TIFF structure) that holds only an orientation.
std::string exifBlock(int orientation)
{
    return "MM" + be16(42) + be32(8) + be16(1) + be16(0x112) + be16(3) + be32(1) +
           be16(static_cast<unsigned>(orientation)) + be16(0) + be32(0);
}

// A picture encoded by the image library, with its orientation tagged as its format carries
// it: a JPEG APP1 segment, a PNG eXIf chunk, a WebP EXIF chunk (in an extended file), a TIFF
// tag.
std::string tagged(MagickWand* wand, const std::string& format, int orientation)
{
    if (format == "TIFF") {
        MagickSetImageOrientation(wand, static_cast<OrientationType>(orientation));
        return test::encodePicture(wand, "TIFF");
    }
    std::string encoded = test::encodePicture(wand, format.c_str());
    const std::string exif = exifBlock(orientation);
    if (format == "JPEG")
        return encoded.insert(2, bytes({0xFF, 0xE1}) + be16(2 + 6 + exif.size()) +
                                     std::string("Exif\0\0", 6) + exif);
    if (format == "PNG")
        return encoded.insert(encoded.find("IDAT") - 4,
                              be32(exif.size()) + "eXIf" + exif + be32(crc32("eXIf" + exif)));
    const std::string frame = encoded.substr(12);
    const auto le24 = [](std::size_t v) {
        return bytes({int(v & 255), int(v >> 8 & 255), int(v >> 16)});
    };
    const std::string extended = "VP8X" + le32(10) + bytes({0x08, 0, 0, 0}) +
                                 le24(MagickGetImageWidth(wand) - 1) +
                                 le24(MagickGetImageHeight(wand) - 1);
    const std::string chunks = extended + frame + "EXIF" + le32(exif.size()) + exif;
    return "RIFF" + le32(4 + chunks.size()) + "WEBP" + chunks;
}

bool isRed(const std::array<unsigned short, 3>& rgb)
{
    return rgb[0] > 50000 && rgb[1] < 15000 && rgb[2] < 15000;
}

TEST(ReadPicture, EveryOrientationIsTurnedUpright)
{
    // Upright the picture is 40 x 20, white with a red corner at the top left. Each case stores
    // it turned the other way and tagged, so that only the right turn brings it back: the eight
    // orientations put the corner in eight different places.
    const auto store = [](MagickWand* wand, int orientation) {
        const PixelWandPtr none(NewPixelWand());
        switch (orientation) {
        case 2:
            MagickFlopImage(wand);
            break;
        case 3:
            MagickRotateImage(wand, none.get(), 180);
            break;
        case 4:
            MagickFlipImage(wand);
            break;
        case 5:
            MagickTransposeImage(wand);
            break;
        case 6:
            MagickRotateImage(wand, none.get(), 270);
            break;
        case 7:
            MagickTransverseImage(wand);
            break;
        case 8:
            MagickRotateImage(wand, none.get(), 90);
            break;
        }
    };
    test::TempDir dir;
    for (const std::string format : {"JPEG", "PNG", "WEBP", "TIFF"}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(format + " " + std::to_string(orientation));
            MagickWandPtr wand = newCanvas(40, 20, "white");
            std::vector<unsigned char> red(10 * 10 * 3, 0);
            for (std::size_t i = 0; i < red.size(); i += 3)
                red[i] = 255;
            MagickImportImagePixels(wand.get(), 0, 0, 10, 10, "RGB", CharPixel, red.data());
            store(wand.get(), orientation);
            const std::string path = dir.file("turned");
            test::writeFile(path, tagged(wand.get(), format, orientation));

            const auto info = sniffPicture(path);
            ASSERT_TRUE(info);
            EXPECT_EQ(info->format, format);
            EXPECT_EQ(info->orientation, orientation);
            EXPECT_EQ(std::pair(info->width, info->height), std::pair(40, 20));
            // Whole, and (a JPEG) at half the size, asked for upright.
            for (const auto& [width, height] :
                 {std::pair<std::size_t, std::size_t>{0, 0}, {20, 10}}) {
                const DecodedPicture picture = readPicture(path, width, height);
                ASSERT_TRUE(picture);
                EXPECT_EQ(std::pair(picture.width, picture.height),
                          (std::pair<std::size_t, std::size_t>(40, 20)));
                MagickWand* got = picture.wand.get();
                const long right = static_cast<long>(MagickGetImageWidth(got)) - 2;
                const long bottom = static_cast<long>(MagickGetImageHeight(got)) - 2;
                EXPECT_EQ(MagickGetImageWidth(got), 2 * MagickGetImageHeight(got));
                EXPECT_TRUE(isRed(test::pixelAt(got, 1, 1)));
                for (const auto& [x, y] : {std::pair{right, 1L}, {1L, bottom}, {right, bottom}})
                    EXPECT_FALSE(isRed(test::pixelAt(got, x, y))) << x << "," << y;
            }
        }
    }
}

TEST(ExifOrientation, DamagedOrOutOfRangeTagsMeanAsStored)
{
    std::string little = "II" + le16(42) + le32(8) + le16(1) + le16(0x112) + le16(3) + le32(1) +
                         le16(8) + le16(0) + le32(0);
    const std::string good = exifBlock(6);
    std::string junk(60 * 1024, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>(i * 131 + 7);
    const struct {
        const char* name;
        std::string block;
        int orientation;
    } cases[] = {
        {"big-endian", good, 6},
        {"little-endian", little, 8},
        {"cut in the entry", good.substr(0, 16), 1},
        {"zero", exifBlock(0), 1},
        {"nine", exifBlock(9), 1},
        {"a LONG", good.substr(0, 12) + be16(4) + good.substr(14), 1},
        {"directory past the end", "MM" + be16(42) + be32(4000) + good.substr(8), 1},
        {"many entries claimed", good.substr(0, 8) + be16(65535) + good.substr(10), 6},
        {"junk", junk, 1},
        {"empty", "", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            exifOrientation(reinterpret_cast<const unsigned char*>(c.block.data()), c.block.size()),
            c.orientation)
            << c.name;
    }
    // A JPEG whose tag is damaged is drawn as stored.
    test::TempDir dir;
    std::string jpeg = test::solidPictureBytes(30, 20, "red", "JPEG");
    jpeg.insert(2, bytes({0xFF, 0xE1}) + be16(2 + 6 + 16) + std::string("Exif\0\0", 6) +
                       good.substr(0, 16));
    test::writeFile(dir.file("cut-exif.jpg"), jpeg);
    const DecodedPicture picture = readPicture(dir.file("cut-exif.jpg"));
    ASSERT_TRUE(picture);
    EXPECT_EQ(std::pair(picture.width, picture.height),
              (std::pair<std::size_t, std::size_t>(30, 20)));
}

TEST(ReadPicture, PhoneAndWebFormatsByTheirSignature)
{
    // The image library writes them; each is read back with its size and colour.
    test::TempDir dir;
    for (const char* format : {"WEBP", "HEIC", "AVIF"}) {
        SCOPED_TRACE(format);
        const std::string path = dir.file(std::string("photo.") + format);
        test::writeFile(path, test::solidPictureBytes(64, 48, "#2060C0", format));
        const auto info = sniffPicture(path);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->format, format);
        EXPECT_EQ(std::pair(info->width, info->height), std::pair(64, 48));
        const DecodedPicture picture = readPicture(path);
        ASSERT_TRUE(picture);
        EXPECT_FALSE(picture.damaged);
        // Opaque everywhere: the HEIC coder left the alpha of such pictures unset.
        const RgbaPixels rgba = exportRgba(picture.wand.get());
        for (std::size_t i = 3; i < rgba.bytes.size(); i += 4)
            ASSERT_EQ(rgba.bytes[i], 255) << i / 4;
        const auto rgb = test::pixelAt(picture.wand.get(), 32, 24);
        EXPECT_NEAR(rgb[0] / 257, 0x20, 8);
        EXPECT_NEAR(rgb[1] / 257, 0x60, 8);
        EXPECT_NEAR(rgb[2] / 257, 0xC0, 8);
    }

    // Hostile ones: refused, or the first frame only, never a crash.
    const std::string heic = test::solidPictureBytes(64, 48, "red", "HEIC");
    std::string wide = heic;
    const std::size_t extents = wide.find("ispe");
    ASSERT_NE(extents, std::string::npos);
    wide.replace(extents + 8, 4, be32(100000));
    std::string sequence = test::solidPictureBytes(64, 48, "red", "AVIF");
    sequence.replace(8, 4, "avis");
    MagickWandPtr frames = newCanvas(30, 20, "red");
    MagickWandPtr second = newCanvas(30, 20, "blue");
    MagickAddImage(frames.get(), second.get());
    const std::string animated = test::encodePicture(frames.get(), "WEBP");
    std::string overstated = test::solidPictureBytes(30, 20, "red", "WEBP");
    overstated.replace(4, 4, le32(1 << 20));
    const struct {
        const char* name;
        std::string bytes;
        bool decodes;
        bool sniffed;
    } cases[] = {
        {"heic cut before its picture", heic.substr(0, heic.size() / 3), false, false},
        {"heic 100 000 pixels wide", wide, false, false},
        {"avif sequence", sequence, false, false},
        {"animated webp", animated, true, true},
        {"webp longer than its file", overstated, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file("hostile");
        test::writeFile(path, c.bytes);
        EXPECT_EQ(sniffPicture(path).has_value(), c.sniffed);
        const DecodedPicture picture = readPicture(path);
        EXPECT_EQ(static_cast<bool>(picture), c.decodes);
        if (picture) {
            EXPECT_EQ(MagickGetNumberImages(picture.wand.get()), 1u);
            EXPECT_TRUE(isRed(test::pixelAt(picture.wand.get(), 5, 5)));
        }
    }
    const auto overstatedInfo = sniffPicture(dir.file("hostile"));
    ASSERT_TRUE(overstatedInfo);
    EXPECT_FALSE(overstatedInfo->complete);
}

// The sRGB colour that a pixel of a profile's colour space stands for, by lcms.
std::array<int, 3> toSrgb(const std::string& profile, cmsUInt32Number type,
                          const std::vector<unsigned char>& pixel)
{
    const cmsHPROFILE source = cmsOpenProfileFromMem(profile.data(), profile.size());
    const cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const cmsHTRANSFORM transform =
        cmsCreateTransform(source, type, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    unsigned char out[3] = {};
    cmsDoTransform(transform, pixel.data(), out, 1);
    cmsDeleteTransform(transform);
    cmsCloseProfile(source);
    cmsCloseProfile(srgb);
    return {out[0], out[1], out[2]};
}

TEST(ReadPicture, ColourProfilesAreConvertedToSrgb)
{
    const std::string icc = "/usr/share/color/icc/ghostscript/";
    const std::string adobe = test::readFile(icc + "a98.icc");
    const std::string cmyk = test::readFile(icc + "default_cmyk.icc");
    ASSERT_FALSE(adobe.empty() || cmyk.empty()) << "the profiles of libgs-common";
    std::string junk(10 << 20, 'x');
    const struct {
        const char* name;
        const char* format;
        ColorspaceType space;
        std::vector<unsigned char> pixel; // as stored
        std::string profile;
        std::array<int, 3> expected; // {-1}: the formula's sRGB of the stored pixel
    } cases[] = {
        {"Adobe RGB, PNG",
         "PNG",
         sRGBColorspace,
         {40, 160, 60},
         adobe,
         toSrgb(adobe, TYPE_RGB_8, {40, 160, 60})},
        {"Adobe RGB, JPEG",
         "JPEG",
         sRGBColorspace,
         {200, 90, 60},
         adobe,
         toSrgb(adobe, TYPE_RGB_8, {200, 90, 60})},
        {"CMYK JPEG",
         "JPEG",
         CMYKColorspace,
         {0, 200, 230, 0},
         cmyk,
         toSrgb(cmyk, TYPE_CMYK_8, {0, 200, 230, 0})},
        {"not a profile",
         "PNG",
         sRGBColorspace,
         {40, 160, 60},
         "not a profile at all",
         {40, 160, 60}},
        {"10 MB of junk", "JPEG", sRGBColorspace, {200, 90, 60}, junk, {200, 90, 60}},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MagickWandPtr wand = newCanvas(16, 16, "black");
        const bool isCmyk = c.space == CMYKColorspace;
        if (isCmyk)
            MagickTransformImageColorspace(wand.get(), CMYKColorspace);
        std::vector<unsigned char> pixels;
        for (int i = 0; i < 16 * 16; ++i)
            pixels.insert(pixels.end(), c.pixel.begin(), c.pixel.end());
        MagickImportImagePixels(wand.get(), 0, 0, 16, 16, isCmyk ? "CMYK" : "RGB", CharPixel,
                                pixels.data());
        MagickSetImageProfile(wand.get(), "icc", c.profile.data(), c.profile.size());
        const std::string path = dir.file("tagged");
        test::writeFile(path, test::encodePicture(wand.get(), c.format));
        const DecodedPicture picture = readPicture(path);
        ASSERT_TRUE(picture);
        EXPECT_EQ(MagickGetImageColorspace(picture.wand.get()), sRGBColorspace);
        const auto rgb = test::pixelAt(picture.wand.get(), 8, 8);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(rgb[k] / 257, c.expected[k], 4) << k;
    }
    // The conversion matters: Adobe RGB's green read as sRGB is far off.
    EXPECT_GT(std::abs(toSrgb(adobe, TYPE_RGB_8, {40, 160, 60})[0] - 40), 20);
}

} // namespace
} // namespace torvale
