#pragma once

#include "render/card_encode.h"
#include "render/magick.h"
#include "render/output_file.h"
#include "render/sheet_layout.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace torvale {

/// Writes cards into a PDF file, page by page, where a layout places them: each card at its
/// place's size, JPEG cards as their own bytes, PNG cards as images, cutting marks around them.
/// With backs, every page of fronts is followed by a page of the same cards' backs with the
/// columns mirrored. Pages go to the file as they are completed, so memory holds one page at
/// most. The file is a temporary one until finish() names it; a writer that is not finished
/// removes it.
class PdfSheetWriter {
public:
    /// Starts a PDF in a new temporary file of folder; error() says whether that worked.
    PdfSheetWriter(const SheetLayout& layout, const std::string& folder, bool withBacks);
    ~PdfSheetWriter();
    PdfSheetWriter(const PdfSheetWriter&) = delete;
    PdfSheetWriter& operator=(const PdfSheetWriter&) = delete;

    /// 0, or the errno that ended the writing (the file could not be created or written).
    int error() const { return m_error; }
    /// Places the next card and, with backs, its back (which must then be given). False, with
    /// the reason in problem, when a card is neither a readable JPEG nor a readable PNG (the
    /// place stays free and the writing goes on), or when the file could not be written
    /// (error() is set and nothing more is written).
    bool add(const EncodedCard& front, const EncodedCard* back, std::string& problem);

    /// Completes the last page and the file, flushes it to the disk and gives it the first
    /// free name of folder/name[(n)].ext. With no card placed there is no file to name: the
    /// result is not ok and its error is 0.
    WrittenFile finish(const std::string& name, const std::string& extension);

    /// Pages completed so far.
    std::size_t pages() const { return m_pages; }

private:
    struct Cairo;

    void finishPage();
    void drawMarks(int count, bool back);
    void showPage();
    void abandon();

    SheetLayout m_layout;
    std::string m_folder;
    bool m_withBacks = false;
    std::string m_temp;
    int m_error = 0;
    std::unique_ptr<Cairo> m_cairo;
    int m_placed = 0; // places used on the current page
    std::size_t m_pages = 0;
    bool m_named = false;
};

/// What the frame header of a JPEG image says.
struct JpegFrame {
    int width = 0;
    int height = 0;
    int components = 0; // 1 grey, 3 colour, 4 CMYK
};

/// The frame header of a JPEG image; nothing when the bytes do not start like a JPEG file or
/// have no frame header.
std::optional<JpegFrame> jpegFrame(const std::vector<unsigned char>& bytes);

} // namespace torvale
