#include "render/pdf_sheet.h"

#include "common/c_resources.h"
#include "render/picture_input.h"

#include <bit>
#include <cairo-pdf.h>
#include <cairo.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <unistd.h>

namespace torvale {

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
// Thin enough not to show much where a cut misses it, thick enough for any printer.
constexpr double kMarkWidthPoints = 0.5;

double points(double mm)
{
    return mm * kPointsPerMm;
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

// Reads a PNG held in memory for cairo.
struct PngReader {
    const std::vector<unsigned char>& bytes;
    std::size_t offset = 0;

    static cairo_status_t read(void* closure, unsigned char* data, unsigned int length)
    {
        auto* self = static_cast<PngReader*>(closure);
        if (self->bytes.size() - self->offset < length)
            return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, self->bytes.data() + self->offset, length);
        self->offset += length;
        return CAIRO_STATUS_SUCCESS;
    }
};

// A card decoded by the image library into an opaque surface.
SurfacePtr decodedSurface(const EncodedCard& card, std::string& problem)
{
    const DecodedPicture picture = decodePicture(card.bytes.data(), card.bytes.size());
    if (!picture) {
        problem = "卡片无法解码";
        return nullptr;
    }
    const auto width = static_cast<int>(picture.width);
    const auto height = static_cast<int>(picture.height);
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        problem = cairo_status_to_string(cairo_surface_status(surface.get()));
        return nullptr;
    }
    cairo_surface_flush(surface.get());
    // RGB24 keeps a pixel in a native 32-bit word, blue in its lowest byte; its rows are exactly
    // four bytes a pixel, so the pixels go in with one export.
    const char* order = std::endian::native == std::endian::little ? "BGRP" : "PRGB";
    MagickExportImagePixels(picture.wand.get(), 0, 0, picture.width, picture.height, order,
                            CharPixel, cairo_image_surface_get_data(surface.get()));
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

// Pixels of one size for the surfaces that carry JPEG bytes: cairo embeds the JPEG data and
// never reads these, so every such surface of the size shares one block.
using BlankPixels = std::map<std::pair<int, int>, std::vector<unsigned char>>;

// An image surface for a card. A JPEG card is handed to the PDF as its own bytes; a PNG card is
// decoded. A CMYK JPEG is decoded too: ImageMagick stores its inks inverted, as Adobe does, and
// cairo would embed it without the decode array that says so, giving a negative.
SurfacePtr cardSurface(const EncodedCard& card, BlankPixels& blanks, std::string& problem)
{
    if (card.extension == ".jpg") {
        const auto frame = jpegFrame(card.bytes);
        if (!frame) {
            problem = "卡片不是可以读取的 JPEG 图片";
            return nullptr;
        }
        if (frame->components == 4)
            return decodedSurface(card, problem);
        const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, frame->width);
        std::vector<unsigned char>& blank = blanks[{frame->width, frame->height}];
        blank.resize(static_cast<std::size_t>(stride) * static_cast<std::size_t>(frame->height));
        SurfacePtr surface(cairo_image_surface_create_for_data(
            blank.data(), CAIRO_FORMAT_RGB24, frame->width, frame->height, stride));
        auto* bytes = new std::vector<unsigned char>(card.bytes);
        const cairo_status_t status = cairo_surface_set_mime_data(
            surface.get(), CAIRO_MIME_TYPE_JPEG, bytes->data(), bytes->size(),
            [](void* data) { delete static_cast<std::vector<unsigned char>*>(data); }, bytes);
        if (status != CAIRO_STATUS_SUCCESS) {
            // The surface did not take the bytes (it is in an error state itself).
            delete bytes;
            problem = cairo_status_to_string(status);
            return nullptr;
        }
        return surface;
    }
    PngReader reader{card.bytes};
    SurfacePtr surface(cairo_image_surface_create_from_png_stream(PngReader::read, &reader));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        problem = "卡片不是可以读取的 PNG 图片";
        return nullptr;
    }
    return surface;
}

} // namespace

struct PdfSheetWriter::Cairo {
    // Declared before the PDF surface, so that they outlive it.
    BlankPixels blanks;
    // The cards of the page being drawn. Kept until the page is written: a surface that goes
    // while the page still uses it is copied by cairo, pixels and all.
    std::vector<SurfacePtr> pageCards;
    // With backs: the backs of the page being drawn, one for each card placed (null where there
    // is none). Grown card by card: a layout may have far more places than cards.
    std::vector<SurfacePtr> backs;
    FilePtr file;
    bool discard = false; // the file is being given up: nothing more is written
    int* error = nullptr;
    SurfacePtr surface;
    ContextPtr context;

    // Draws a card's surface into its place and keeps it until the page is written.
    void paint(SurfacePtr image, const SheetRect& place)
    {
        cairo_t* cr = context.get();
        cairo_save(cr);
        cairo_translate(cr, place.x, place.y);
        cairo_scale(cr, place.width / cairo_image_surface_get_width(image.get()),
                    place.height / cairo_image_surface_get_height(image.get()));
        cairo_set_source_surface(cr, image.get(), 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
        pageCards.push_back(std::move(image));
    }

    static cairo_status_t write(void* closure, const unsigned char* data, unsigned int length)
    {
        auto* self = static_cast<Cairo*>(closure);
        if (self->discard)
            return CAIRO_STATUS_SUCCESS;
        if (*self->error != 0)
            return CAIRO_STATUS_WRITE_ERROR;
        if (std::fwrite(data, 1, length, self->file.get()) != length) {
            *self->error = errno != 0 ? errno : EIO;
            return CAIRO_STATUS_WRITE_ERROR;
        }
        return CAIRO_STATUS_SUCCESS;
    }
};

std::optional<JpegFrame> jpegFrame(const std::vector<unsigned char>& bytes)
{
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return std::nullopt;
    std::size_t i = 2;
    while (i + 4 <= bytes.size()) {
        if (bytes[i] != 0xFF)
            return std::nullopt;
        const unsigned char marker = bytes[i + 1];
        if (marker == 0xFF) { // fill byte before a marker
            ++i;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) { // markers without a length
            i += 2;
            continue;
        }
        const std::size_t length = static_cast<std::size_t>(bytes[i + 2] << 8 | bytes[i + 3]);
        // SOF0 to SOF15 carry the size; C4 (Huffman tables), C8 and CC (arithmetic coding) do not.
        const bool isFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (isFrame) {
            if (length < 8 || i + 10 > bytes.size())
                return std::nullopt;
            JpegFrame frame;
            frame.height = bytes[i + 5] << 8 | bytes[i + 6];
            frame.width = bytes[i + 7] << 8 | bytes[i + 8];
            frame.components = bytes[i + 9];
            if (frame.width == 0 || frame.height == 0)
                return std::nullopt;
            return frame;
        }
        if (marker == 0xDA || length < 2) // image data before any frame header
            return std::nullopt;
        i += 2 + length;
    }
    return std::nullopt;
}

PdfSheetWriter::PdfSheetWriter(const SheetLayout& layout, const std::string& folder, bool withBacks)
    : m_layout(layout), m_folder(folder), m_withBacks(withBacks), m_cairo(std::make_unique<Cairo>())
{
    m_cairo->error = &m_error;
    UniqueFd fd = createTemporaryFile(folder, m_temp);
    if (fd.get() < 0) {
        m_error = errno;
        return;
    }
    m_cairo->file.reset(::fdopen(fd.get(), "wb"));
    if (!m_cairo->file) {
        m_error = errno;
        fd.close();
        ::unlink(m_temp.c_str());
        m_temp.clear();
        return;
    }
    fd.release(); // the FILE closes it
    m_cairo->surface.reset(cairo_pdf_surface_create_for_stream(
        Cairo::write, m_cairo.get(), points(layout.pageWidth), points(layout.pageHeight)));
    cairo_pdf_surface_set_metadata(m_cairo->surface.get(), CAIRO_PDF_METADATA_CREATOR, "Torvale");
    m_cairo->context.reset(cairo_create(m_cairo->surface.get()));
    // Millimetres from here on, as the layout measures.
    cairo_scale(m_cairo->context.get(), kPointsPerMm, kPointsPerMm);
}

PdfSheetWriter::~PdfSheetWriter()
{
    if (!m_named)
        abandon();
}

void PdfSheetWriter::abandon()
{
    m_cairo->discard = true;
    m_cairo->context.reset();
    m_cairo->surface.reset();
    m_cairo->file.reset();
    if (!m_temp.empty())
        ::unlink(m_temp.c_str());
    m_temp.clear();
}

bool PdfSheetWriter::add(const EncodedCard& front, const EncodedCard* back, std::string& problem)
{
    if (m_error != 0 || !m_cairo->context)
        return false;
    problem.clear();
    // A back goes behind a front that was drawn; a card and its back come out together or the
    // problem of the one that failed is reported.
    SurfacePtr image = cardSurface(front, m_cairo->blanks, problem);
    SurfacePtr backImage;
    if (image) {
        m_cairo->paint(std::move(image), m_layout.place(m_placed));
        if (m_withBacks && back)
            backImage = cardSurface(*back, m_cairo->blanks, problem);
    }
    if (m_withBacks)
        m_cairo->backs.push_back(std::move(backImage));
    ++m_placed;
    if (m_placed == m_layout.perPage())
        finishPage();
    return m_error == 0 && problem.empty();
}

void PdfSheetWriter::drawMarks(int count, bool back)
{
    if (!m_layout.marks || count == 0)
        return;
    cairo_t* cr = m_cairo->context.get();
    cairo_save(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, kMarkWidthPoints / kPointsPerMm);
    for (const SheetLine& line : cuttingMarks(m_layout, count, back)) {
        cairo_move_to(cr, line.x1, line.y1);
        cairo_line_to(cr, line.x2, line.y2);
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

void PdfSheetWriter::showPage()
{
    cairo_show_page(m_cairo->context.get());
    m_cairo->pageCards.clear();
    ++m_pages;
}

void PdfSheetWriter::finishPage()
{
    drawMarks(m_placed, false);
    showPage();
    if (m_withBacks) {
        for (std::size_t i = 0; i < m_cairo->backs.size(); ++i) {
            if (SurfacePtr& back = m_cairo->backs[i])
                m_cairo->paint(std::move(back), m_layout.place(static_cast<int>(i), true));
        }
        m_cairo->backs.clear();
        drawMarks(m_placed, true);
        showPage();
    }
    m_placed = 0;
}

WrittenFile PdfSheetWriter::finish(const std::string& name, const std::string& extension)
{
    WrittenFile result;
    result.path = numberedPath(m_folder, name, 1, extension);
    if (m_error == 0 && m_cairo->context && m_placed > 0)
        finishPage();
    if (m_error != 0 || m_pages == 0 || !m_cairo->context) {
        result.error = m_error;
        abandon();
        return result;
    }
    m_cairo->context.reset();
    cairo_surface_finish(m_cairo->surface.get());
    const cairo_status_t status = cairo_surface_status(m_cairo->surface.get());
    m_cairo->surface.reset();
    // The content reaches the disk before the file gets its name, as the cards' files do.
    std::FILE* file = m_cairo->file.get();
    if (m_error == 0 && (std::fflush(file) != 0 || ::fsync(::fileno(file)) != 0))
        m_error = errno;
    if (m_error == 0 && status != CAIRO_STATUS_SUCCESS)
        m_error = status == CAIRO_STATUS_NO_MEMORY ? ENOMEM : EIO;
    if (std::fclose(m_cairo->file.release()) != 0 && m_error == 0)
        m_error = errno;
    if (m_error != 0) {
        result.error = m_error;
        abandon();
        return result;
    }
    result = nameTemporaryFile(m_temp, m_folder, name, extension);
    m_temp.clear();
    m_named = true;
    if (!result.ok)
        m_error = result.error;
    else
        syncFolder(m_folder); // the name reaches the disk too
    return result;
}

} // namespace torvale
