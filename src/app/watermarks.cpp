#include "app/watermarks.h"

#include "common/text.h"
#include "render/picture_input.h"

#include <algorithm>

namespace torvale {

std::optional<std::size_t> WatermarkList::indexOf(std::uint32_t id) const
{
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].id == id)
            return i;
    }
    return std::nullopt;
}

const Watermark* WatermarkList::find(std::uint32_t id) const
{
    const auto index = indexOf(id);
    return index ? &m_items[*index] : nullptr;
}

Watermark* WatermarkList::findMutable(std::uint32_t id)
{
    const auto index = indexOf(id);
    return index ? &m_items[*index] : nullptr;
}

void WatermarkList::renumber()
{
    for (std::size_t i = 0; i < m_items.size(); ++i)
        m_items[i].number = static_cast<std::int32_t>(i + 1);
}

std::uint32_t WatermarkList::insert(std::size_t index, Watermark watermark)
{
    watermark.id = m_nextId++;
    index = std::min(index, m_items.size());
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(index), std::move(watermark));
    renumber();
    return m_items[index].id;
}

std::optional<std::size_t> WatermarkList::remove(std::uint32_t id)
{
    const auto index = indexOf(id);
    if (!index)
        return std::nullopt;
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(*index));
    renumber();
    return index;
}

void WatermarkList::move(std::uint32_t id, std::int32_t x, std::int32_t y)
{
    if (Watermark* w = findMutable(id)) {
        w->x = x;
        w->y = y;
    }
}

void WatermarkList::replacePicture(std::uint32_t id, const std::string& path, std::int32_t width,
                                   std::int32_t height)
{
    if (Watermark* w = findMutable(id)) {
        w->filePath = path;
        w->width = width;
        w->height = height;
    }
}

std::optional<std::string> watermarkExtensionProblem(const std::string& path)
{
    for (const char* extension : {".png", ".jpg", ".jpeg", ".gif"}) {
        if (endsWithIgnoreCase(path, extension))
            return std::nullopt;
    }
    return formatText("水印图片 '%s' 格式不对，请重新选择。\n\n支持的格式: png, jpg, gif",
                      path.c_str());
}

WatermarkPicture checkWatermarkPicture(const std::string& path)
{
    WatermarkPicture picture;
    const auto info = sniffPicture(path);
    if (!info || (info->format != "JPEG" && info->format != "PNG" && info->format != "GIF")) {
        picture.problem =
            formatText("水印图片 '%s' 内部数据格式不符合要求，请重新选择", path.c_str());
        return picture;
    }
    picture.width = info->width;
    picture.height = info->height;
    return picture;
}

namespace {

/// A field's text as an integer the way a classic edit control's number is read: an optional
/// sign and the digits that follow; 0 when there are none.
std::int64_t leadingInteger(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < (1LL << 40); ++i)
        value = value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

std::string repeat(const char* piece, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

/// The five-line message of a watermark that reaches past the background's right or bottom
/// edge; the small hyphen-minus and ideographic space keep it lined up in the message box.
std::string pastTheEdgeMessage(const char* axis, const char* extent, const char* side,
                               std::int64_t end, std::int32_t limit)
{
    constexpr const char* kSmallMinus = "\xEF\xB9\xA3";  // U+FE63
    constexpr const char* kWideSpace = "\xE3\x80\x80";   // U+3000
    return std::string(axis) + "坐标  +  水印" + extent + "  >  【背景层】" + side + "\n" +
           repeat(kSmallMinus, 9) + kWideSpace + "   " + repeat(kSmallMinus, 7) + "\n" +
           kWideSpace + "  " + kWideSpace + std::to_string(end) + repeat(kWideSpace, 4) + "  " +
           repeat(kWideSpace, 4) + std::to_string(limit) + "\n\n提示：" + axis +
           "坐标需要设置小一些。";
}

} // namespace

WatermarkPositionCheck checkWatermarkPosition(const std::string& xText, const std::string& yText,
                                              std::int32_t width, std::int32_t height,
                                              std::int32_t backgroundWidth,
                                              std::int32_t backgroundHeight)
{
    using Focus = WatermarkPositionCheck::Focus;
    WatermarkPositionCheck check;
    const auto fail = [&](std::string message, Focus focus) {
        check.message = std::move(message);
        check.focus = focus;
        return check;
    };
    // Both fields hold at most 7 characters.
    const std::int64_t x = leadingInteger(xText.substr(0, 7));
    const std::int64_t y = leadingInteger(yText.substr(0, 7));
    if (xText.empty())
        return fail("请输入x坐标", Focus::X);
    if (x < 0)
        return fail("x坐标不能小于 0", Focus::X);
    if (x >= backgroundWidth)
        return fail(formatText("x坐标不能大于或等于【背景层】宽度：%d", backgroundWidth), Focus::X);
    if (yText.empty())
        return fail("请输入y坐标", Focus::Y);
    if (y < 0)
        return fail("y坐标不能小于 0", Focus::Y);
    if (y >= backgroundHeight)
        return fail(formatText("y坐标不能大于或等于【背景层】高度：%d", backgroundHeight), Focus::Y);
    if (x + width > backgroundWidth)
        return fail(pastTheEdgeMessage("x", "宽度", "宽度", x + width, backgroundWidth),
                    Focus::None);
    if (y + height > backgroundHeight)
        return fail(pastTheEdgeMessage("y", "高度", "高度", y + height, backgroundHeight),
                    Focus::None);
    check.x = static_cast<std::int32_t>(x);
    check.y = static_cast<std::int32_t>(y);
    return check;
}

} // namespace torvale
