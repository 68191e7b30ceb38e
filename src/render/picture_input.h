#pragma once

#include "common/shared_budget.h"
#include "model/template.h"
#include "render/magick.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace torvale {

/// True when the file can be opened for reading (a folder is not a file).
bool fileExists(const std::string& path);

/// The file's length in bytes, or -1 when it cannot be opened.
std::int64_t fileSize(const std::string& path);

/// True when the path names a folder.
bool directoryExists(const std::string& path);

/// What the first bytes of a picture file say about it.
struct PictureInfo {
    /// "BMP", "JPEG", "GIF", "PNG", "TIFF", "PSD", "WEBP", "HEIC" (HEIF brands) or "AVIF"
    std::string format;
    /// The size upright: turned by the EXIF orientation (HEIC and AVIF: by their own
    /// transformations, which libheif applies).
    std::int32_t width = 0;
    std::int32_t height = 0;
    /// The EXIF orientation, 1 to 8 (1: as stored).
    int orientation = 1;
    std::int64_t byteSize = 0;
    /// The size the image library reads from the header: width and height keep only the low
    /// halves of a PNG's 32-bit size, these keep all of it.
    std::int64_t fullWidth = 0;
    std::int64_t fullHeight = 0;
    /// The file ends as a whole picture of its format ends (a PNG's IEND chunk, a JPEG's
    /// end-of-image marker, a GIF's trailer, a BMP's stated length); false for a file cut
    /// short.
    bool complete = true;
};

/// Identifies a picture by its signature and reads its pixel size from the header without
/// decoding (HEIC and AVIF: the image library reads it from the whole file); nothing when the
/// file cannot be opened, is not one of the formats, or the size cannot be read.
std::optional<PictureInfo> sniffPicture(const std::string& path);

/// The image library is set up (setUpImageLibrary) to refuse a picture wider or taller than
/// kMaxPictureSide pixels or larger than kMaxPicturePixels in all, from its header.
inline constexpr std::int64_t kMaxPictureSide = 16000;
inline constexpr std::int64_t kMaxPicturePixels = 128'000'000;

/// True when a picture decoded at width x height is within kMaxPictureSide and
/// kMaxPicturePixels.
bool withinDecodeLimits(std::int64_t width, std::int64_t height);

/// True when the image library makes a canvas of width x height: both sides at least 1 pixel and
/// within the same limits as a decoded picture.
bool withinCanvasLimits(std::int64_t width, std::int64_t height);

/// The size readPicture(path, minWidth, minHeight) decodes a picture of info at: a JPEG at
/// least twice as large as minWidth x minHeight on both sides at the reduced scale the JPEG
/// decoder picks (when both are positive), anything else at its full size.
std::pair<std::int64_t, std::int64_t>
decodedPictureSize(const PictureInfo& info, std::size_t minWidth = 0, std::size_t minHeight = 0);

/// A decoded picture: the wand holds its first frame, turned upright by its EXIF orientation and
/// converted to sRGB (through its colour profile when it has one, CMYK by the plain formula
/// otherwise); width and height are the picture's real size upright, which is larger than the
/// wand's when it was decoded at a reduced scale. While it lives it holds its pixels' share of what
/// all threads may decode at once; keep it only as long as the picture is worked on.
struct DecodedPicture {
    MagickWandPtr wand;
    std::size_t width = 0;
    std::size_t height = 0;
    /// The decoder found the data damaged (cut short, corrupt): the wand holds what it could
    /// decode.
    bool damaged = false;
    BudgetShare pixels;

    explicit operator bool() const { return wand != nullptr; }
};

/// Decodes a BMP, JPEG, GIF, PNG, TIFF, PSD, WebP, HEIC or AVIF file (its first or primary
/// image), recognised by its first bytes (the path is never interpreted by the image library);
/// an empty result on failure. Waits while other
/// threads hold decoded pictures whose pixels leave no room for this one. When minWidth and
/// minHeight are positive, a JPEG at least twice as large on both sides may be decoded at a
/// reduced scale that is still at least minWidth x minHeight (both upright).
DecodedPicture readPicture(const std::string& path, std::size_t minWidth = 0,
                           std::size_t minHeight = 0);

/// readPicture for encoded bytes held in memory.
DecodedPicture decodePicture(const unsigned char* bytes, std::size_t length,
                             std::size_t minWidth = 0, std::size_t minHeight = 0);

enum class PictureKind { Layer, Background };

/// Checks a picture chosen by the user: exists, has a .png/.jpg/.jpeg/.gif name and a PNG, JPEG
/// or GIF content. Nothing when it passes, else the message to show ("提示", warning icon).
std::optional<std::string> validatePictureFile(const std::string& path, PictureKind kind);

/// Decodes the background picture once and keeps its encoded bytes (in its own format), size
/// and alpha flag in the background; an unreadable picture gives a 1 x 1 white JPEG and the
/// size 1 x 1. True when the picture itself was decoded.
bool loadBackgroundPicture(const std::string& path, BackgroundLayer& background);

/// The file a picture cell names: an absolute path as it is; a relative one in the program
/// folder when it is there, else in csvFolder (the CSV file's folder; empty: none).
std::string resolveCellPicturePath(const std::string& cell, const std::string& csvFolder);

/// A picture file decoded as a card draws it in a layer (at a reduced scale where the layer
/// allows it).
DecodedPicture readLayerPicture(const std::string& path, const Layer& layer);

/// Where a picture cell leads when its layer looks pictures up in a folder.
struct FolderPicture {
    std::string path;               // the picture found; empty when there is none
    std::vector<std::string> tried; // the names looked for in the folder when none was found
    bool outside = false;           // the cell names a path outside the folder: not followed
    bool controls = false;          // the cell holds control characters: no file is named so
};

/// The picture a cell names in a folder: a name with an extension as it is; one without is
/// tried with .jpg, .jpeg, .png, .bmp, .gif, .webp, .tif, .tiff, .heic, .heif and .avif in that
/// order, the case of the file's name ignored (A0001 finds A0001.JPG). An absolute path, one
/// through "..", and a name whose real path (symbolic links followed) ends outside the folder
/// are outside it.
FolderPicture findFolderPicture(const std::string& folder, const std::string& cell);

/// Why a cell found no picture in a folder, for the log and the row check.
std::string folderPictureProblem(const std::string& folder, const std::string& cell,
                                 const FolderPicture& found);

} // namespace torvale
