#pragma once

#include "model/layer_fields.h"

#include <string_view>
#include <vector>

namespace torvale::test {

/// The group of the field underlineFieldTable adds.
inline constexpr LayerFieldSet kUnderlineGroup = 1u << 20;

/// The editor's field table with isUnderline taken out and added back at the end as a field the
/// editor does not have: written only when on, a group and undo name of its own ("修改下划线"),
/// part of a text layer's thumbnail, and a check box "下划线" in the text window.
inline std::vector<LayerFieldInfo> underlineFieldTable()
{
    std::vector<LayerFieldInfo> table;
    for (const LayerFieldInfo& field : layerFields()) {
        if (std::string_view(field.member) != "isUnderline")
            table.push_back(field);
    }
    table.push_back({.member = "isUnderline",
                     .field = &Layer::isUnderline,
                     .rule = FileRule::UnlessDefault,
                     .minimum = 0,
                     .maximum = 1,
                     .range = RangeRule::Default,
                     .group = kUnderlineGroup,
                     .thumbnail = kTextLayers,
                     .stepName = "修改下划线",
                     .controls = {{{.windows = kTextLayers,
                                    .row = 85,
                                    .kind = ControlKind::Check,
                                    .caption = "下划线"}}}});
    return table;
}

} // namespace torvale::test
