#include "ui/panels/layer_panel_layout.h"

namespace torvale {

LayerPanelHeights layerPanelHeights(int maximisedHeight)
{
    const int h = maximisedHeight;
    if (h < 826)
        return {134, 95};
    if (h <= 847)
        return {156, 117};
    if (h <= 869)
        return {178, 139};
    if (h <= 914)
        return {h - 670, h - 709};
    if (h <= 936)
        return {222, 183};
    if (h <= 958)
        return {244, 205};
    return {266, 227};
}

int layerColumnWidth(int width, int scrollBarHeight)
{
    // 353 is the sum of the six column widths: the list keeps its total width.
    constexpr int kTotal = 353;
    if (scrollBarHeight < 18)
        return width;
    return width - ((scrollBarHeight - 17) * width + kTotal - 1) / kTotal;
}

} // namespace torvale
