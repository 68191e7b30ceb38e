#pragma once

#include "common/packed_strings.h"
#include "model/template.h"
#include "render/card_row.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace torvale {

/// The columns that cards read (the layers' bound columns, rule columns and the fields of fixed
/// texts, and the file-name columns), found once in a data file's header, so that a card row holds
/// those cells only, however many columns the file has.
class CardColumns {
public:
    /// The columns of tpl (and of back, when given) in header, which must outlive this object.
    CardColumns(const PackedStrings& header, const Template& tpl, const Template* back = nullptr);
    /// The card row of a data row's cells (as many as the header has).
    CardRow row(const PackedStrings& cells) const;
    /// row(cells) with the file-name columns of output too, when they are other columns.
    CardRow row(const PackedStrings& cells, const OutputSettings& output) const;

private:
    const PackedStrings& m_header;
    std::vector<std::pair<std::string, std::size_t>> m_columns; // name, index in the header
};

} // namespace torvale
