#include "render/picture_input.h"

#include "common/byte_order.h"
#include "common/c_resources.h"
#include "common/file_io.h"
#include "common/paths.h"
#include "common/shared_budget.h"
#include "common/text.h"
#include "render/picture_orientation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <lcms2.h>
#include <limits>
#include <memory>
#include <new>
#include <vector>

namespace torvale {

namespace {

// A file larger than this is not read into memory for decoding: no card picture comes near it,
// and the decode limits would refuse its pixels anyway.
constexpr std::int64_t kMaxPictureFileBytes = 512LL * 1024 * 1024;

std::int64_t lengthOf(std::FILE* file)
{
    if (fseeko(file, 0, SEEK_END) != 0)
        return -1;
    return static_cast<std::int64_t>(ftello(file));
}

bool readAt(std::FILE* file, std::int64_t offset, unsigned char* out, std::size_t count)
{
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(out, 1, count, file) == count;
}


// The format named by the first bytes; shorter input counts as zero-padded. Phones' and the
// web's formats are told by more than two: a WebP is a RIFF file of type WEBP, HEIC and AVIF
// are ISO media files whose major brand names a still image.
const char* signatureFormat(const unsigned char* bytes, std::size_t length)
{
    if (length >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 &&
        std::memcmp(bytes + 8, "WEBP", 4) == 0)
        return "WEBP";
    if (length >= 12 && std::memcmp(bytes + 4, "ftyp", 4) == 0) {
        const std::string_view brand(reinterpret_cast<const char*>(bytes + 8), 4);
        for (const char* heif : {"heic", "heix", "hevc", "heim", "heis", "mif1", "msf1"}) {
            if (brand == heif)
                return "HEIC";
        }
        return brand == "avif" ? "AVIF" : nullptr;
    }
    const unsigned char first = length > 0 ? bytes[0] : 0;
    const unsigned char second = length > 1 ? bytes[1] : 0;
    static constexpr struct {
        unsigned char first, second;
        const char* format;
    } kSignatures[] = {
        {0x42, 0x4D, "BMP"},  {0xFF, 0xD8, "JPEG"}, {0x47, 0x49, "GIF"}, {0x89, 0x50, "PNG"},
        {0x49, 0x49, "TIFF"}, {0x4D, 0x4D, "TIFF"}, {0x38, 0x42, "PSD"},
    };
    for (const auto& signature : kSignatures) {
        if (first == signature.first && second == signature.second)
            return signature.format;
    }
    return nullptr;
}

// Formats whose size the image library reads from the whole file (libheif parses the boxes
// that lead to the primary image, its transformations applied).
bool isoMediaFormat(std::string_view format)
{
    return format == "HEIC" || format == "AVIF";
}

struct Size {
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// Walks the segments from offset 2 up to the first baseline or progressive frame header. Each
// step consumes at least four bytes, so a damaged file ends at its end instead of looping.
Size jpegSize(std::FILE* file)
{
    if (fseeko(file, 2, SEEK_SET) != 0)
        return {};
    for (;;) {
        unsigned char segment[4];
        if (std::fread(segment, 1, 4, file) != 4 || segment[0] != 0xFF)
            return {};
        const unsigned marker = segment[1];
        const std::uint32_t length = be16(segment + 2);
        if (marker == 0xC0 || marker == 0xC2) {
            unsigned char frame[5]; // precision, height, width
            if (std::fread(frame, 1, 5, file) != 5)
                return {};
            return {be16(frame + 3), be16(frame + 1)};
        }
        if (length < 2 || fseeko(file, length - 2, SEEK_CUR) != 0)
            return {};
    }
}

// Reads the width and height tags of the first directory. A LONG value is read whole: its
// first 16 bits are the high half in a big-endian file.
Size tiffSize(std::FILE* file, const unsigned char* header, bool bigEndian)
{
    const auto u16 = [bigEndian](const unsigned char* p) { return bigEndian ? be16(p) : le16(p); };
    const auto u32 = [bigEndian](const unsigned char* p) { return bigEndian ? be32(p) : le32(p); };
    unsigned char countBytes[2];
    if (!readAt(file, u32(header + 4), countBytes, 2))
        return {};
    Size size;
    const std::uint32_t count = u16(countBytes);
    for (std::uint32_t i = 0; i < count && (size.width <= 0 || size.height <= 0); ++i) {
        unsigned char entry[12];
        if (std::fread(entry, 1, 12, file) != 12)
            break;
        const std::uint32_t tag = u16(entry);
        const std::uint32_t type = u16(entry + 2);
        const std::int64_t value = type == 4 ? u32(entry + 8) : u16(entry + 8);
        if (tag == 256)
            size.width = value;
        else if (tag == 257)
            size.height = value;
    }
    return size;
}

// The canvas of an extended WebP, or the frame of a simple lossy or lossless one, from the
// file's first 32 bytes.
Size webpSize(const unsigned char* header)
{
    const auto le24 = [](const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16); };
    if (std::memcmp(header + 12, "VP8X", 4) == 0)
        return {1 + le24(header + 24), 1 + le24(header + 27)};
    if (std::memcmp(header + 12, "VP8 ", 4) == 0 && header[23] == 0x9D && header[24] == 0x01 &&
        header[25] == 0x2A)
        return {le16(header + 26) & 0x3FFF, le16(header + 28) & 0x3FFF};
    if (std::memcmp(header + 12, "VP8L", 4) == 0 && header[20] == 0x2F) {
        const std::uint32_t bits = le32(header + 21);
        return {1 + (bits & 0x3FFF), 1 + ((bits >> 14) & 0x3FFF)};
    }
    return {};
}

// Whether a JPEG or GIF file's last bytes hold the end of a whole picture. Writers may leave a
// little padding after the end, so the end marker is looked for among the last bytes.
bool endsWhole(std::FILE* file, std::string_view format, std::int64_t length)
{
    unsigned char tail[64];
    const std::int64_t count = std::min<std::int64_t>(length, sizeof tail);
    if (!readAt(file, length - count, tail, static_cast<std::size_t>(count)))
        return false;
    const std::string_view last(reinterpret_cast<const char*>(tail),
                                static_cast<std::size_t>(count));
    if (format == "JPEG")
        return last.find("\xFF\xD9") != std::string_view::npos;
    if (format == "GIF")
        return last.find('\x3B') != std::string_view::npos;
    return true;
}

// A PNG ends with its IEND chunk; one that does not was cut short, unless bytes follow the
// chunk (some programs append data), which only a walk through the chunks tells. The image
// library refuses a PNG without its end.
bool pngComplete(std::FILE* file, std::int64_t length)
{
    static constexpr unsigned char kEnd[12] = {0,   0,   0,    0,    'I',  'E',
                                               'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    unsigned char tail[12];
    if (length >= 8 + 12 && readAt(file, length - 12, tail, 12) &&
        std::memcmp(tail, kEnd, sizeof kEnd) == 0)
        return true;
    // Each chunk is its length (4 bytes), its type (4), its data and a checksum (4).
    std::int64_t offset = 8;
    while (offset + 8 <= length) {
        unsigned char head[8];
        if (!readAt(file, offset, head, 8))
            return false;
        const std::int64_t next = offset + 12 + be32(head);
        if (next > length)
            return false;
        if (std::memcmp(head + 4, "IEND", 4) == 0)
            return true;
        offset = next;
    }
    return false;
}

bool positiveInt32(std::int64_t value)
{
    return value > 0 && value <= std::numeric_limits<std::int32_t>::max();
}

// Bytes of picture files held in memory at once by all threads together. Each worker reads
// and decodes one picture at a time, so without a shared bound the per-file cap would be
// multiplied by the number of workers. A file is never larger than the whole budget, so every
// request can be met once the others are done.
SharedBudget& readBudget()
{
    static SharedBudget budget(static_cast<std::size_t>(kMaxPictureFileBytes));
    return budget;
}

// The bytes of a picture file, counted against the read budget while they exist.
class BudgetedBytes {
public:
    // The budget is taken before the memory: the wait is what bounds it.
    explicit BudgetedBytes(std::size_t size) : m_share(readBudget().take(size))
    {
        m_bytes.resize(size);
    }

    std::vector<unsigned char>& bytes() { return m_bytes; }
    /// The bytes leave the budget: the caller keeps them for good.
    std::vector<unsigned char> take()
    {
        m_share.release();
        return std::move(m_bytes);
    }

private:
    BudgetShare m_share;
    std::vector<unsigned char> m_bytes;
};

// The image library's pixel caches draw on one pool of memory, mapped and disk space for the
// whole process. Decodes that each fit it alone would fail together, so the output would
// depend on the number of workers: a decoded picture holds a share of this budget while it
// lives, and a worker whose picture does not fit what is free waits. The budget is what the
// memory and map limits hold together, within the disk limit, so pictures decoded together
// always fit somewhere; a picture larger than the budget waits for the others and is then
// decoded alone, as with one worker.
SharedBudget& pixelBudget()
{
    static SharedBudget budget([] {
        const MagickSizeType pool =
            GetMagickResourceLimit(MemoryResource) + GetMagickResourceLimit(MapResource);
        const MagickSizeType total = std::min(pool, GetMagickResourceLimit(DiskResource));
        return static_cast<std::size_t>(
            std::min<MagickSizeType>(total, std::numeric_limits<std::size_t>::max()));
    }());
    return budget;
}

// Bytes the pixel cache takes for each pixel (16-bit red, green, blue and alpha).
constexpr std::size_t kCacheBytesPerPixel = 4 * sizeof(Quantum);

// Longest time one picture may take to decode. Real pictures within the size limits take a
// fraction of it; a picture built to keep the decoder busy fails instead of stalling the batch.
constexpr auto kMaxDecodeTime = std::chrono::seconds(30);

extern "C" MagickBooleanType withinDecodeTime(const char*, MagickOffsetType, MagickSizeType,
                                              void* deadline)
{
    return std::chrono::steady_clock::now() <
                   *static_cast<const std::chrono::steady_clock::time_point*>(deadline)
               ? MagickTrue
               : MagickFalse;
}

// Libjpeg warnings that real cameras' files give without any harm to the picture.
bool harmlessWarning(const char* reason)
{
    return reason && (std::strstr(reason, "Invalid SOS parameters") ||
                      std::strstr(reason, "extraneous bytes before marker 0xd9"));
}

// The first frame of a picture, and whether the decoder said the data is damaged (it then
// holds what could be decoded, such as the top of a truncated JPEG).
struct FirstFrame {
    MagickWandPtr wand;
    bool damaged = false;
};

// Decodes the first frame only (its header only when ping). Every frame of an animated GIF or
// a multi-page TIFF would otherwise be decoded and kept, though only the first is used: a few
// megabytes of tiny frames can take gigabytes.
FirstFrame readFirstFrame(const unsigned char* bytes, std::size_t length, const char* format,
                          const std::string& jpegSize, bool ping = false)
{
    const ImageInfoPtr info(AcquireImageInfo());
    const ExceptionInfoPtr exception(AcquireExceptionInfo());
    if (!info || !exception)
        return {};
    CopyMagickString(info->magick, format, MaxTextExtent);
    info->scene = 0;
    info->number_scenes = 1;
    info->ping = ping ? MagickTrue : MagickFalse;
    if (!jpegSize.empty())
        SetImageOption(info.get(), "jpeg:size", jpegSize.c_str());
    const auto deadline = std::chrono::steady_clock::now() + kMaxDecodeTime;
    SetImageInfoProgressMonitor(info.get(), withinDecodeTime,
                                const_cast<void*>(static_cast<const void*>(&deadline)));
    const ImageListPtr images(BlobToImage(info.get(), bytes, length, exception.get()));
    if (!images)
        return {};
    // A coder that does not stop after the first frame still hands back only the first.
    if (GetNextImageInList(images.get()) != nullptr)
        DestroyImageList(SplitImageList(images.get()));
    // The image inherits the monitor, whose deadline goes with this call: every later
    // operation on the picture would consult it.
    SetImageProgressMonitor(images.get(), nullptr, nullptr);
    FirstFrame frame;
    // Coders report some problems to the call and others to the image itself.
    for (const ExceptionInfo* reported : {exception.get(), &images->exception}) {
        frame.damaged = frame.damaged || reported->severity >= ErrorException ||
                        (reported->severity == CorruptImageWarning &&
                         !harmlessWarning(reported->reason));
    }
    frame.wand.reset(NewMagickWandFromImage(images.get()));
    return frame;
}

// The pixel size of a picture from its header, as the decoder reads it; 0 x 0 when unknown.
Size headerSize(const unsigned char* bytes, std::size_t length, const char* format)
{
    const FirstFrame header = readFirstFrame(bytes, length, format, {}, true);
    if (!header.wand)
        return {};
    return {static_cast<std::int64_t>(MagickGetImageWidth(header.wand.get())),
            static_cast<std::int64_t>(MagickGetImageHeight(header.wand.get()))};
}

// The file's bytes, held against the read budget; nothing (and no budget taken) when the file
// cannot be read.
std::unique_ptr<BudgetedBytes> readFileBytes(const std::string& path)
{
    FilePtr file = openRegularFile(path);
    if (!file)
        return nullptr;
    const std::int64_t length = lengthOf(file.get());
    if (length <= 0 || length > kMaxPictureFileBytes)
        return nullptr;
    std::unique_ptr<BudgetedBytes> bytes;
    try {
        bytes = std::make_unique<BudgetedBytes>(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        return nullptr; // no memory for it now: an unusable picture, not the end of the batch
    }
    if (!readAt(file.get(), 0, bytes->bytes().data(), bytes->bytes().size()))
        return nullptr;
    return bytes;
}

// Turns a decoded picture upright by its EXIF orientation (2 to 8 mirror or turn it).
bool turnUpright(MagickWand* wand, int orientation)
{
    const PixelWandPtr background(NewPixelWand());
    if (!background)
        return false;
    switch (orientation) {
    case 2:
        return MagickFlopImage(wand) != MagickFalse;
    case 3:
        return MagickRotateImage(wand, background.get(), 180) != MagickFalse;
    case 4:
        return MagickFlipImage(wand) != MagickFalse;
    case 5:
        return MagickTransposeImage(wand) != MagickFalse;
    case 6:
        return MagickRotateImage(wand, background.get(), 90) != MagickFalse;
    case 7:
        return MagickTransverseImage(wand) != MagickFalse;
    case 8:
        return MagickRotateImage(wand, background.get(), 270) != MagickFalse;
    default:
        return true;
    }
}

// The sRGB profile that pictures with a profile of their own are converted to.
const std::vector<unsigned char>& srgbProfile()
{
    static const std::vector<unsigned char> profile = [] {
        std::vector<unsigned char> bytes;
        const cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsUInt32Number size = 0;
        if (srgb && cmsSaveProfileToMem(srgb, nullptr, &size) && size > 0) {
            bytes.resize(size);
            if (!cmsSaveProfileToMem(srgb, bytes.data(), &size))
                bytes.clear();
        }
        if (srgb)
            cmsCloseProfile(srgb);
        return bytes;
    }();
    return profile;
}

// Brings a picture to sRGB: one with a colour profile (Display P3 from phones, Adobe RGB from
// cameras, a CMYK press profile) through it with the perceptual intent; a CMYK or YCbCr one
// (HEIC and AVIF come as YCbCr) without a usable profile by the plain formula; RGB and grey
// are taken as sRGB already. A profile that cannot be used leaves the pixels as stored.
bool convertToSrgb(MagickWand* wand)
{
    std::size_t length = 0;
    const MagickMemoryPtr<unsigned char> embedded(MagickGetImageProfile(wand, "icc", &length));
    if (embedded && length > 0 && !srgbProfile().empty()) {
        MagickSetImageRenderingIntent(wand, PerceptualIntent);
        if (MagickProfileImage(wand, "icc", srgbProfile().data(), srgbProfile().size()) ==
            MagickFalse)
            magickExceptionText(wand);
        const MagickMemoryPtr<unsigned char> removed(
            MagickRemoveImageProfile(wand, "icc", &length));
    }
    switch (MagickGetImageColorspace(wand)) {
    case sRGBColorspace:
    case RGBColorspace:
    case GRAYColorspace:
    case TransparentColorspace:
    case UndefinedColorspace:
        return true;
    default:
        return MagickTransformImageColorspace(wand, sRGBColorspace) != MagickFalse;
    }
}

} // namespace

bool fileExists(const std::string& path)
{
    return openRegularFile(path) != nullptr;
}

std::int64_t fileSize(const std::string& path)
{
    FilePtr file = openRegularFile(path);
    return file ? lengthOf(file.get()) : -1;
}

bool directoryExists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(pathFromUtf8(path), ec);
}

std::optional<PictureInfo> sniffPicture(const std::string& path)
{
    FilePtr file = openRegularFile(path);
    if (!file)
        return std::nullopt;
    unsigned char header[32] = {};
    const std::size_t got = std::fread(header, 1, sizeof header, file.get());
    const char* format = signatureFormat(header, got);
    if (!format)
        return std::nullopt;

    Size size;
    Size fullSize;
    std::int64_t byteSize = -1;
    bool complete = true;
    const std::string_view name = format;
    const std::int64_t length = lengthOf(file.get());
    if (name == "BMP") {
        size = {std::abs(static_cast<std::int64_t>(static_cast<std::int32_t>(le32(header + 18)))),
                std::abs(static_cast<std::int64_t>(static_cast<std::int32_t>(le32(header + 22))))};
        if (size.width > 100000 || size.height > 100000)
            size = {le16(header + 18), le16(header + 20)}; // old-style header
        byteSize = le32(header + 2);
    } else if (name == "JPEG") {
        size = jpegSize(file.get());
    } else if (name == "GIF") {
        size = {le16(header + 6), le16(header + 8)};
    } else if (name == "PNG") {
        // The low halves of the 32-bit width and height.
        size = {be16(header + 18), be16(header + 22)};
        fullSize = {be32(header + 16), be32(header + 20)};
        complete = pngComplete(file.get(), length);
    } else if (name == "TIFF") {
        size = tiffSize(file.get(), header, header[0] == 0x4D);
    } else if (name == "WEBP") {
        size = webpSize(header);
        complete = length >= 8 + std::int64_t(le32(header + 4));
    } else if (isoMediaFormat(name)) {
        if (const auto bytes = readFileBytes(path))
            size = headerSize(bytes->bytes().data(), bytes->bytes().size(), format);
    } else {
        size = {be32(header + 18), be32(header + 14)};
    }
    if (name != "BMP")
        byteSize = length;
    if (name != "PNG")
        fullSize = size;

    if (!positiveInt32(size.width) || !positiveInt32(size.height) || byteSize <= 0)
        return std::nullopt;
    PictureInfo info;
    info.format = format;
    info.orientation = pictureOrientation(
        [&file](std::int64_t offset, unsigned char* out, std::size_t count) {
            return readAt(file.get(), offset, out, count);
        },
        length, name);
    if (orientationTransposes(info.orientation)) {
        std::swap(size.width, size.height);
        std::swap(fullSize.width, fullSize.height);
    }
    info.width = static_cast<std::int32_t>(size.width);
    info.height = static_cast<std::int32_t>(size.height);
    info.byteSize = byteSize;
    info.fullWidth = fullSize.width;
    info.fullHeight = fullSize.height;
    // A PNG's and a WebP's ends are checked above; a BMP states its length in its header.
    if (name == "BMP")
        info.complete = length >= byteSize;
    else
        info.complete =
            name == "PNG" || name == "WEBP" ? complete : endsWhole(file.get(), name, length);
    return info;
}

bool withinDecodeLimits(std::int64_t width, std::int64_t height)
{
    return width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

bool withinCanvasLimits(std::int64_t width, std::int64_t height)
{
    return width >= 1 && height >= 1 && withinDecodeLimits(width, height);
}

std::pair<std::int64_t, std::int64_t>
decodedPictureSize(const PictureInfo& info, std::size_t minWidth, std::size_t minHeight)
{
    const std::int64_t width = info.fullWidth;
    const std::int64_t height = info.fullHeight;
    const auto wantedWidth = static_cast<std::int64_t>(minWidth);
    const auto wantedHeight = static_cast<std::int64_t>(minHeight);
    if (info.format != "JPEG" || wantedWidth <= 0 || wantedHeight <= 0 || width < 2 * wantedWidth ||
        height < 2 * wantedHeight)
        return {width, height};
    // As decodePicture asks (jpeg:size): the image library divides by the smaller of the two
    // ratios, rounded down, and the JPEG decoder scales by the smallest m/8 (m = 1..16) that is
    // at least one over that, rounding the size up.
    const std::int64_t divisor = std::min(width / wantedWidth, height / wantedHeight);
    const std::int64_t eighths = (8 + divisor - 1) / divisor;
    return {(width * eighths + 7) / 8, (height * eighths + 7) / 8};
}

DecodedPicture decodePicture(const unsigned char* bytes, std::size_t length, std::size_t minWidth,
                             std::size_t minHeight)
{
    // The format comes from the signature, never from a name, so no file name prefix or
    // content sniffing can select another coder.
    const char* format = signatureFormat(bytes, length);
    if (!format || length == 0)
        return {};

    // The picture is decoded as stored and turned upright afterwards, so a reduced decode
    // asks for the layer's size turned the way the picture is stored.
    const int orientation = pictureOrientation(memoryReader(bytes, length),
                                               static_cast<std::int64_t>(length), format);
    if (orientationTransposes(orientation))
        std::swap(minWidth, minHeight);

    const Size header = headerSize(bytes, length, format);
    // Libheif decodes the whole picture before the image library can check its size.
    if (isoMediaFormat(format) && !withinDecodeLimits(header.width, header.height))
        return {};
    std::size_t realWidth = 0;
    std::size_t realHeight = 0;
    std::string reducedSize;
    // The pixels the decode will hold: a picture of unknown size may need the whole budget.
    std::size_t decodedPixels = std::numeric_limits<std::size_t>::max() / kCacheBytesPerPixel;
    if (header.width > 0 && header.height > 0) {
        const auto width = static_cast<std::size_t>(header.width);
        const auto height = static_cast<std::size_t>(header.height);
        std::size_t scale = 1;
        // A reduced decode only pays off from a factor of two, and smaller factors would make
        // libjpeg's scale computation degenerate.
        if (minWidth > 0 && minHeight > 0 && std::strcmp(format, "JPEG") == 0 &&
            width >= 2 * minWidth && height >= 2 * minHeight) {
            reducedSize = formatText("%zux%zu", minWidth, minHeight);
            realWidth = width;
            realHeight = height;
            // Libjpeg scales by at least the largest power of two that keeps the minimum.
            while (scale < 8 && width / (2 * scale) >= minWidth &&
                   height / (2 * scale) >= minHeight)
                scale *= 2;
        }
        // A header may claim any size: beyond the budget it takes the whole budget anyway.
        // Turning the picture upright holds a second copy for a moment.
        const std::size_t columns = width / scale + 1;
        const std::size_t rows = (height / scale + 1) * (orientation == 1 ? 1 : 2);
        if (rows <= decodedPixels / columns)
            decodedPixels = columns * rows;
    }
    BudgetShare pixels = pixelBudget().take(decodedPixels * kCacheBytesPerPixel);

    FirstFrame frame = readFirstFrame(bytes, length, format, reducedSize);
    MagickWandPtr& picture = frame.wand;
    // A damaged JPEG (scan data before its frame header) comes back as an "image" of 0 x 0.
    if (!picture || MagickGetImageWidth(picture.get()) == 0 ||
        MagickGetImageHeight(picture.get()) == 0)
        return {};
    // The HEIC coder leaves the alpha of a picture without one unset: whatever the memory held
    // would show through wherever alpha is read.
    if (isoMediaFormat(format) && MagickGetImageAlphaChannel(picture.get()) == MagickFalse &&
        (MagickSetImageAlphaChannel(picture.get(), OpaqueAlphaChannel) == MagickFalse ||
         MagickSetImageAlphaChannel(picture.get(), DeactivateAlphaChannel) == MagickFalse))
        return {};
    if (!turnUpright(picture.get(), orientation) || !convertToSrgb(picture.get()))
        return {};

    DecodedPicture result;
    result.width = realWidth ? realWidth : MagickGetImageWidth(picture.get());
    result.height = realHeight ? realHeight : MagickGetImageHeight(picture.get());
    if (realWidth && orientationTransposes(orientation))
        std::swap(result.width, result.height);
    result.damaged = frame.damaged;
    result.wand = std::move(picture);
    result.pixels = std::move(pixels);
    return result;
}

DecodedPicture readPicture(const std::string& path, std::size_t minWidth, std::size_t minHeight)
{
    const auto file = readFileBytes(path);
    if (!file)
        return {};
    return decodePicture(file->bytes().data(), file->bytes().size(), minWidth, minHeight);
}

std::optional<std::string> validatePictureFile(const std::string& path, PictureKind kind)
{
    const bool layer = kind == PictureKind::Layer;
    const char* subject = layer ? "图片" : "背景图片";
    const char* pathText = path.c_str();
    if (!fileExists(path))
        return layer ? formatText("图片 '%s' 不存在，请重新选择。", pathText)
                     : formatText("背景图片 '%s' 已不存在，请重新选择。", pathText);
    if (!endsWithIgnoreCase(path, ".png") && !endsWithIgnoreCase(path, ".jpg") &&
        !endsWithIgnoreCase(path, ".jpeg") && !endsWithIgnoreCase(path, ".gif"))
        return formatText("%s '%s' 格式不对，请重新选择。\n\n支持的格式: png, jpg, gif", subject,
                          pathText);
    const auto info = sniffPicture(path);
    if (!info)
        return formatText("%s '%s' 不是一个有效的图片，请重新选择。", subject, pathText);
    if (info->format != "PNG" && info->format != "JPEG" && info->format != "GIF")
        return formatText("%s '%s' 内部数据格式不受支持，请重新选择。\n\n支持的格式: png, jpg, gif",
                          subject, pathText);
    return std::nullopt;
}

bool loadBackgroundPicture(const std::string& path, BackgroundLayer& background)
{
    const auto encode = [](MagickWand* wand) {
        auto stored = std::make_shared<PictureBytes>();
        std::size_t length = 0;
        MagickMemoryPtr<unsigned char> blob(MagickGetImageBlob(wand, &length));
        if (blob)
            stored->bytes.assign(blob.get(), blob.get() + length);
        return stored;
    };

    background.picture.reset();
    // The file's own bytes are kept: they are the picture in its own format, and every reader
    // decodes them the way readPicture does (first frame, CMYK to sRGB). Encoding the decoded
    // picture again would cost far more than the decode.
    const auto file = readFileBytes(path);
    DecodedPicture decoded;
    if (file)
        decoded = decodePicture(file->bytes().data(), file->bytes().size());
    if (MagickWandPtr wand = std::move(decoded.wand)) {
        auto stored = std::make_shared<PictureBytes>();
        stored->bytes = file->take();
        if (!stored->bytes.empty()) {
            background.picture = std::move(stored);
            background.width = static_cast<std::int32_t>(MagickGetImageWidth(wand.get()));
            background.height = static_cast<std::int32_t>(MagickGetImageHeight(wand.get()));
            background.hasAlpha = MagickGetImageAlphaChannel(wand.get()) != MagickFalse;
            background.pictureUnreadable = false;
            return true;
        }
    }
    MagickWandPtr placeholder = newCanvas(1, 1, "#FFFFFF");
    if (placeholder && MagickSetImageFormat(placeholder.get(), "JPEG") != MagickFalse)
        background.picture = encode(placeholder.get());
    background.width = 1;
    background.height = 1;
    background.hasAlpha = false;
    background.pictureUnreadable = true;
    return false;
}

} // namespace torvale
