#pragma once

#include "app/canvas_geometry.h"
#include "app/commands.h"
#include "app/editor_document.h"

#include <cstddef>
#include <vector>

namespace torvale {

/// The entries of the canvas's 对齐 menu: how the marked layers are lined up, spread or sized.
enum class Arrangement {
    Top,         // 顶边: top edges on the reference's top edge
    Bottom,      // 底边
    Left,        // 左边
    Right,       // 右边
    CentreX,     // 水平居中: centres on the reference's vertical centre line
    CentreY,     // 垂直居中: centres on the reference's horizontal centre line
    CardCentreX, // 卡片水平居中
    CardCentreY, // 卡片垂直居中
    SpreadX,     // 横向等距分布: equal gaps between the outer two, left to right
    SpreadY,     // 纵向等距分布: top to bottom
    SameWidth,   // 等宽: the reference's width, left edges kept
    SameHeight,  // 等高: the reference's height, top edges kept
};

/// The 对齐 menu's entries in their order: text, command and arrangement. A line separates the
/// four edges from the rest.
struct ArrangeEntry {
    const char* text;
    CommandId id;
    Arrangement arrangement;
};
inline constexpr ArrangeEntry kArrangeEntries[] = {
    {"顶边", CommandId::AlignTop, Arrangement::Top},
    {"底边", CommandId::AlignBottom, Arrangement::Bottom},
    {"左边", CommandId::AlignLeft, Arrangement::Left},
    {"右边", CommandId::AlignRight, Arrangement::Right},
    {"水平居中", CommandId::AlignCentreX, Arrangement::CentreX},
    {"垂直居中", CommandId::AlignCentreY, Arrangement::CentreY},
    {"卡片水平居中", CommandId::AlignCardCentreX, Arrangement::CardCentreX},
    {"卡片垂直居中", CommandId::AlignCardCentreY, Arrangement::CardCentreY},
    {"横向等距分布", CommandId::SpreadX, Arrangement::SpreadX},
    {"纵向等距分布", CommandId::SpreadY, Arrangement::SpreadY},
    {"等宽", CommandId::SameWidth, Arrangement::SameWidth},
    {"等高", CommandId::SameHeight, Arrangement::SameHeight},
};

/// Whether the arrangement can act on `count` layers: spreading needs three or more, the card
/// centring one or more, the others two or more.
bool arrangementApplies(Arrangement arrangement, std::size_t count);

/// The rectangles after an arrangement, in the order given. reference is the rectangle the
/// edges, centres and sizes are taken from; card is what the card centring centres on. A centre
/// between two pixels is rounded towards the top left. Spreading keeps the first and the last
/// rectangle in the order of their centres where they are and gives the ones between equal
/// gaps; when the free space does not divide evenly, the spare pixels go one each to gaps
/// spread along the row. Fewer than three rectangles are not spread. Rectangles may go partly
/// outside the card.
std::vector<LayerRect> arrangeRects(std::vector<LayerRect> rects, Arrangement arrangement,
                                    const LayerRect& reference, CardSize card);

} // namespace torvale
