#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// A picture laid over the card while designing (a scan of a printed badge, a print
/// template with cutting marks) to line layers up against. It lives only in the running
/// editor: it is never saved in the template and never drawn on a card.
struct Watermark {
    std::uint32_t id = 0; // the editor's name for it while the program runs
    std::int32_t number = 1;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0; // the picture's size as its header gives it
    std::int32_t height = 0;
    std::string filePath;
};

/// The editor's watermarks in list order; the last one is the topmost.
class WatermarkList {
public:
    const std::vector<Watermark>& items() const { return m_items; }
    bool empty() const { return m_items.empty(); }
    std::optional<std::size_t> indexOf(std::uint32_t id) const;
    const Watermark* find(std::uint32_t id) const;

    /// Inserts a watermark at a list position (the end when past it) and numbers the list
    /// again; returns its id.
    std::uint32_t insert(std::size_t index, Watermark watermark);
    /// Removes a watermark and numbers the list again; returns the position it had.
    std::optional<std::size_t> remove(std::uint32_t id);
    void move(std::uint32_t id, std::int32_t x, std::int32_t y);
    /// A new picture: path and size change, the position stays.
    void replacePicture(std::uint32_t id, const std::string& path, std::int32_t width,
                        std::int32_t height);

private:
    Watermark* findMutable(std::uint32_t id);
    void renumber();

    std::vector<Watermark> m_items;
    std::uint32_t m_nextId = 1;
};

/// The extension check of a chosen watermark picture: nothing for ".png", ".jpg", ".jpeg" or
/// ".gif" (any case), else the message to show.
std::optional<std::string> watermarkExtensionProblem(const std::string& path);

/// A watermark picture's size from its header, or the message to show when the file is not a
/// readable JPEG, PNG or GIF.
struct WatermarkPicture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::optional<std::string> problem;
};
WatermarkPicture checkWatermarkPicture(const std::string& path);

/// The result of the position dialog's checks.
struct WatermarkPositionCheck {
    enum class Focus { None, X, Y };
    std::optional<std::string> message; // nothing: the position is accepted
    Focus focus = Focus::None;
    std::int32_t x = 0;
    std::int32_t y = 0;
};

/// Checks the texts of the position dialog's two fields, in order: x given, not negative,
/// inside the background; y likewise; then the watermark's right and bottom edges.
WatermarkPositionCheck checkWatermarkPosition(const std::string& xText, const std::string& yText,
                                              std::int32_t width, std::int32_t height,
                                              std::int32_t backgroundWidth,
                                              std::int32_t backgroundHeight);

} // namespace torvale
