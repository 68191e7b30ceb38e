#pragma once

namespace torvale {

/// Heights of the layer panel and of its list.
struct LayerPanelHeights {
    int panel = 0;
    int list = 0;
};

/// The layer panel's heights for the height of a maximised window.
LayerPanelHeights layerPanelHeights(int maximisedHeight);

/// A layer-list column width on a system whose horizontal scroll bar is scrollBarHeight high:
/// wide scroll bars take their extra height from every column in proportion.
int layerColumnWidth(int width, int scrollBarHeight);

} // namespace torvale
