#pragma once

#include "batch/csv_source.h"
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
/// those cells only, however many columns the file has. The serial fields of fixed texts that
/// name no column ("{#}", "{#:0000}") are filled in too, from the serialStart of tpl (the back
/// of a card shows the serial of its front).
class CardColumns {
public:
    /// The columns of tpl (and of back, when given) in header, which must outlive this object.
    CardColumns(const PackedStrings& header, const Template& tpl, const Template* back = nullptr);
    /// The card row of a data row (with as many cells as the header has).
    CardRow row(const CsvDataRow& data) const;
    /// row(data) with the file-name columns of output too, when they are other columns.
    CardRow row(const CsvDataRow& data, const OutputSettings& output) const;

private:
    const PackedStrings& m_header;
    std::vector<std::pair<std::string, std::size_t>> m_columns; // name, index in the header
    std::vector<std::pair<std::string, std::size_t>> m_serials; // field name, digits
    std::int64_t m_serialStart = kDefaultSerialStart;
};

} // namespace torvale
