// A channel list kept in a spreadsheet, as CSV: read into the fields of a
// list_document, each with the row and column of the cell it came from,
// and written so that it reads back to the same fields.
#pragma once

#include "web/list_document.hpp"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace freqimg {

struct csv_list {
    std::array<std::string, document_fields> fields; // UTF-8
    // For each field a cell gave, where: "freq.csv, row 4, column C".
    std::array<std::string, document_fields> where;
    // What is said of the file as a whole, or of a row that gave no field.
    std::vector<field_message> messages;
};

// Reads `text`, the CSV file `name` (UTF-8, with or without a byte-order
// mark, or Windows-1252), as spreadsheets write them: cells separated by
// commas, semicolons or tabs (whichever the first row has most of), quoted
// with double quotes where they need it. The first row is a header when
// none of its cells is a frequency or "-"; a header names its columns
// (channel, label or name, transmit or TX, receive or RX), and without one
// the columns are label, transmit and receive, after a column of channel
// numbers where every row begins with one. Frequencies are six hex digits
// or MHz as a spreadsheet writes them ("476.45", "476,450", "477"); an
// empty cell or "-" is a blank channel; anything else stays as written, for
// the list's own check to name. Blanks in a label become "_"; channels no
// row gives are blank.
csv_list read_csv_list(std::string_view text, std::string_view name);

// A spreadsheet's cell as a transmit or receive field ("476.45" is
// "476450", an empty cell "-"), and as a label (blanks as "_").
std::string cell_entry(std::string_view cell);
std::string cell_label(std::string_view cell);

// The CSV of a list's `fields`: "Channel,Label,Transmit MHz,Receive MHz",
// then a row for each channel with its number, its label, and each entry in
// MHz where it is a frequency ("476.425"), "-" where it is blank, and as it
// stands otherwise; UTF-8 with a byte-order mark and CR LF line ends, as
// spreadsheets read them.
std::string csv_text(const std::array<std::string, document_fields> &fields);

} // namespace freqimg
