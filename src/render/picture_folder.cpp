#include "render/picture_input.h"

#include "common/paths.h"
#include "common/text.h"
#include "render/card_pixels.h"
#include "render/picture_fit.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

// Pictures of a layer's rows: where a cell leads, and how it is decoded for the layer.

namespace torvale {

DecodedPicture readLayerPicture(const std::string& path, const Layer& layer)
{
    // Large JPEG photos are decoded at a reduced scale when the layer (turned upright) is
    // smaller; the fitted sizes still follow from the picture's real size.
    const Layer frame = uprightFrame(layer);
    return overflowStyleAllowsReducedDecode(layer.overflow_style)
               ? readPicture(path, static_cast<std::size_t>(frame.width),
                             static_cast<std::size_t>(frame.height))
               : readPicture(path);
}

std::string resolveCellPicturePath(const std::string& cell, const std::string& csvFolder)
{
    const auto path = pathFromUtf8(cell);
    if (path.is_absolute())
        return cell;
    std::error_code ec;
    const auto inProgram = programFolder() / path;
    if (std::filesystem::exists(inProgram, ec) || csvFolder.empty())
        return pathToUtf8(inProgram);
    return pathToUtf8(pathFromUtf8(csvFolder) / path);
}

namespace {

// An extension in upper case (".JPG").
std::string upperExtension(std::string extension)
{
    for (char& c : extension)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return extension;
}

// Whether a found file's real path, symbolic links followed, lies inside the folder's.
bool staysInFolder(const std::filesystem::path& folder, const std::filesystem::path& file)
{
    std::error_code error;
    const std::filesystem::path realFolder = std::filesystem::canonical(folder, error);
    if (error)
        return false;
    const std::filesystem::path realFile = std::filesystem::canonical(file, error);
    if (error)
        return false;
    const auto [folderEnd, fileAt] =
        std::mismatch(realFolder.begin(), realFolder.end(), realFile.begin(), realFile.end());
    return folderEnd == realFolder.end() && fileAt != realFile.end();
}

FolderPicture findInFolder(const std::string& folder, const std::string& cell);

} // namespace

FolderPicture findFolderPicture(const std::string& folder, const std::string& cell)
{
    // A NUL would end the path early (p1\0.jpg opening p1); no file is named with controls.
    for (std::size_t i = 0; i < cell.size();) {
        const char32_t cp = nextCodePoint(cell, i);
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            FolderPicture found;
            found.controls = true;
            return found;
        }
    }
    FolderPicture found = findInFolder(folder, cell);
    if (!found.path.empty() && !staysInFolder(pathFromUtf8(folder), pathFromUtf8(found.path))) {
        found.path.clear();
        found.outside = true;
    }
    return found;
}

namespace {

FolderPicture findInFolder(const std::string& folder, const std::string& cell)
{
    FolderPicture found;
    const std::filesystem::path name = pathFromUtf8(cell);
    if (cell.empty() || name.has_root_path() ||
        std::any_of(name.begin(), name.end(), [](const auto& part) { return part == ".."; })) {
        found.outside = true;
        return found;
    }
    const std::filesystem::path base = pathFromUtf8(folder) / name;
    std::error_code error;
    if (name.has_extension()) {
        if (std::filesystem::exists(base, error))
            found.path = pathToUtf8(base);
        else
            found.tried.push_back(cell);
        return found;
    }
    static constexpr const char* kExtensions[] = {".jpg",  ".jpeg", ".png", ".bmp",
                                                  ".gif",  ".webp", ".tif", ".tiff",
                                                  ".heic", ".heif", ".avif"};
    for (const char* extension : kExtensions)
        found.tried.push_back(cell + extension);
    // The names as written first, in lower and in upper case; then the folder is listed for a
    // name that differs in case only (A0001.Jpg).
    for (const std::string& tried : found.tried) {
        for (const std::string& candidate :
             {tried, cell + upperExtension(tried.substr(cell.size()))}) {
            const std::filesystem::path path = pathFromUtf8(folder) / pathFromUtf8(candidate);
            if (std::filesystem::is_regular_file(path, error)) {
                found.path = pathToUtf8(path);
                found.tried.clear();
                return found;
            }
        }
    }
    std::vector<std::string> names;
    for (std::filesystem::directory_iterator it(base.parent_path(), error), end;
         !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error))
            names.push_back(pathToUtf8(it->path().filename()));
    }
    const std::string stem = pathToUtf8(name.filename());
    for (const char* extension : kExtensions) {
        for (const std::string& file : names) {
            if (equalsIgnoreCase(file, stem + extension)) {
                found.path = pathToUtf8(base.parent_path() / pathFromUtf8(file));
                found.tried.clear();
                return found;
            }
        }
    }
    return found;
}

} // namespace

std::string folderPictureProblem(const std::string& folder, const std::string& cell,
                                 const FolderPicture& found)
{
    if (found.controls)
        return formatText("'%s' 含有控制字符，不能用作图片文件名", cellForLog(cell).c_str());
    if (found.outside)
        return formatText("'%s' 不在图片文件夹 '%s' 里，不会读取", cellForLog(cell).c_str(),
                          folder.c_str());
    std::string tried;
    for (const std::string& name : found.tried)
        tried += (tried.empty() ? "" : "、") + cellForLog(name);
    return formatText("图片文件夹 '%s' 里没有这张图片（试过 %s）", folder.c_str(), tried.c_str());
}

} // namespace torvale
