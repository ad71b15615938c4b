#include "web/list_csv.hpp"

#include "channels/freq_list.hpp"
#include "stream/stream_report.hpp"
#include "web/text_encoding.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace freqimg {
namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

struct csv_row {
    unsigned number = 0; // the spreadsheet's row, from 1
    std::vector<std::string> cells;
    bool empty() const {
        return std::all_of(cells.begin(), cells.end(),
                           [](const std::string &c) { return c.empty(); });
    }
};

bool is_line_end(char c) {
    return c == '\n' || c == '\r';
}

// The separator of the first row, outside quotes: a tab where it has one,
// else a semicolon (where commas are decimal points), else a comma.
char separator_of(std::string_view text) {
    bool in_quotes = false, tab = false, semicolon = false;
    for (std::size_t i = 0; i < text.size() && (in_quotes || !is_line_end(text[i])); ++i) {
        in_quotes = in_quotes != (text[i] == '"');
        tab = tab || (!in_quotes && text[i] == '\t');
        semicolon = semicolon || (!in_quotes && text[i] == ';');
    }
    return tab ? '\t' : semicolon ? ';' : ',';
}

// The rows of `text` as RFC 4180 reads them: a quoted cell may hold the
// separator, line ends and "" for a quote; a line ends with LF, CR LF or CR.
std::vector<csv_row> rows_of(std::string_view text, char separator) {
    std::vector<csv_row> rows;
    csv_row row{1, {""}};
    bool in_quotes = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        std::string &cell = row.cells.back();
        if (in_quotes) {
            if (c != '"')
                cell += c;
            else if (i + 1 < text.size() && text[i + 1] == '"')
                cell += text[++i];
            else
                in_quotes = false;
        } else if (c == '"' && cell.empty()) {
            in_quotes = true;
        } else if (c == separator) {
            row.cells.emplace_back();
        } else if (is_line_end(c)) {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            unsigned next = row.number + 1;
            rows.push_back(std::move(row));
            row = {next, {""}};
        } else {
            cell += c;
        }
    }
    if (!row.empty())
        rows.push_back(std::move(row));
    return rows;
}

std::string trimmed(std::string_view text) {
    line_counter ignored;
    text.remove_prefix(skip_blanks(text, ignored));
    while (!text.empty() && skip_blanks(text.substr(text.size() - 1), ignored) == 1)
        text.remove_suffix(1);
    return std::string(text);
}

std::string lower(std::string text) {
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The entry a transmit or receive cell means: "-" for an empty cell or a
// blank, six hex digits as they are, MHz as its entry; none for anything
// else.
std::optional<std::string> entry_in(const std::string &cell) {
    std::string text = trimmed(cell);
    if (text.empty() || text.starts_with('-'))
        return "-";
    if (text.size() == window_entry_size && std::all_of(text.begin(), text.end(), is_hex_digit))
        return text;
    std::string number = text;
    std::erase(number, ' ');
    // Whole MHz, as a spreadsheet drops the zeros of "477.000".
    if (!number.empty() && number.size() <= 3 &&
        std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        number += ".0";
    freq_field entry = spelled_entry(number);
    if (entry[0] == '\0')
        return std::nullopt;
    return std::string(entry.data());
}

std::optional<unsigned> channel_number(const std::string &cell) {
    std::string text = trimmed(cell);
    unsigned n = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return n;
}

bool is_entry_cell(const std::string &cell) {
    return !trimmed(cell).empty() && entry_in(cell).has_value();
}

// Which cell of a row is which; -1 where a row has none.
struct columns {
    int number = -1, label = -1, tx = -1, rx = -1;
};

std::optional<columns> named_columns(const csv_row &header) {
    columns c;
    for (std::size_t i = 0; i < header.cells.size(); ++i) {
        std::string name = lower(trimmed(header.cells[i]));
        auto has = [&name](std::string_view word) { return name.find(word) != std::string::npos; };
        int at = static_cast<int>(i);
        if (c.tx < 0 && (has("transmit") || name.starts_with("tx")))
            c.tx = at;
        else if (c.rx < 0 && (has("receive") || name.starts_with("rx")))
            c.rx = at;
        else if (c.label < 0 && (has("label") || has("name")))
            c.label = at;
        else if (c.number < 0 && (name.starts_with("ch") || name == "#" || name == "no" ||
                                  name == "no." || name == "nr" || name == "number"))
            c.number = at;
    }
    if (c.tx < 0 || c.rx < 0)
        return std::nullopt;
    return c;
}

columns placed_columns(const std::vector<csv_row> &rows) {
    std::size_t widest = 0;
    bool numbered = !rows.empty();
    for (const csv_row &r : rows) {
        widest = std::max(widest, r.cells.size());
        numbered = numbered && channel_number(r.cells[0]).has_value();
    }
    if (numbered && widest >= 4)
        return {0, 1, 2, 3};
    if (widest >= 3)
        return {-1, 0, 1, 2};
    return {-1, -1, 0, 1};
}

std::string column_letters(int column) {
    std::string letters;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return letters;
}

std::string quoted_cell(const std::string &text) {
    if (text.find_first_of(",;\"\r\n\t") == std::string::npos && trimmed(text) == text)
        return text;
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? "\"\"" : std::string(1, c);
    return out + "\"";
}

std::string mhz_cell(const std::string &entry) {
    if (entry.starts_with('-') || is_blank_entry(entry))
        return "-";
    if (entry.size() == window_entry_size && holds_frequency(entry))
        return shown_entry(entry);
    return entry;
}

} // namespace

std::string cell_entry(std::string_view cell) {
    const std::string text(cell);
    return entry_in(text).value_or(trimmed(text));
}

std::string cell_label(std::string_view cell) {
    std::string label = trimmed(cell), one_word;
    line_counter ignored;
    for (std::size_t i = 0; i < label.size(); ++i) {
        std::size_t blanks = skip_blanks(std::string_view(label).substr(i), ignored);
        one_word += blanks > 0 ? '_' : label[i];
        i += blanks > 0 ? blanks - 1 : 0;
    }
    return one_word;
}

csv_list read_csv_list(std::string_view text, std::string_view name) {
    if (text.starts_with(byte_order_mark))
        text.remove_prefix(byte_order_mark.size());
    const std::string utf8 =
        encoding_of(text) == text_encoding::utf8 ? std::string(text) : utf8_from_windows_1252(text);
    csv_list out;
    const std::array<std::string_view, document_columns> header{"Channel", "Transmit", "Receive"};
    std::copy(header.begin(), header.end(), out.fields.begin());
    for (std::size_t row = 1; row <= channel_count; ++row) {
        out.fields[row * document_columns] = formatted("CH%02zu", row);
        // assign(1, c): GCC 12 sees a false overlap in `= "-"` (-Wrestrict).
        out.fields[row * document_columns + tx_column].assign(1, '-');
        out.fields[row * document_columns + rx_column].assign(1, '-');
    }
    std::vector<csv_row> rows = rows_of(utf8, separator_of(utf8));
    std::erase_if(rows, [](const csv_row &r) { return r.empty(); });
    const std::string file(name);
    if (rows.empty()) {
        out.messages.push_back({document_fields, true, file, "no channels in it"});
        return out;
    }
    std::optional<columns> named;
    const bool has_header = std::none_of(rows[0].cells.begin(), rows[0].cells.end(), is_entry_cell);
    if (has_header) {
        named = named_columns(rows[0]);
        rows.erase(rows.begin());
    }
    const columns c = named ? *named : placed_columns(rows);
    auto cell = [](const csv_row &r, int at) {
        return at >= 0 && static_cast<std::size_t>(at) < r.cells.size()
                   ? r.cells[static_cast<std::size_t>(at)]
                   : std::string();
    };
    auto where = [&file](const csv_row &r, int at) {
        return formatted("%s, row %u, column %s", file.c_str(), r.number,
                         column_letters(at).c_str());
    };
    std::array<unsigned, channel_count + 1> given_by{};
    std::size_t next = 1;
    for (const csv_row &r : rows) {
        std::size_t channel = next++;
        if (c.number >= 0) {
            std::optional<unsigned> n = channel_number(cell(r, c.number));
            if (!n || *n < 1 || *n > channel_count) {
                out.messages.push_back(
                    {document_fields, true, where(r, c.number),
                     formatted("channel number \"%s\" is not one of 1 to %zu",
                               trimmed(cell(r, c.number)).c_str(), channel_count)});
                continue;
            }
            channel = *n;
        }
        if (channel > channel_count) {
            out.messages.push_back(
                {document_fields, false, formatted("%s, row %u", file.c_str(), r.number),
                 "the radio holds 20 channels: this row and the rest are not read"});
            break;
        }
        // cppcheck-suppress containerOutOfBounds ; channel is 1 to channel_count here
        if (given_by[channel] != 0) {
            out.messages.push_back({document_fields, true, where(r, c.number),
                                    formatted("channel %zu is given again (first in row %u)",
                                              channel, given_by[channel])});
            continue;
        }
        given_by[channel] = r.number;
        const std::size_t at = channel * document_columns;
        if (std::string label = cell_label(cell(r, c.label)); c.label >= 0 && !label.empty()) {
            out.fields[at] = label;
            out.where[at] = where(r, c.label);
        }
        for (auto [column, field] : {std::pair{c.tx, tx_column}, std::pair{c.rx, rx_column}}) {
            out.fields[at + field] = cell_entry(cell(r, column));
            out.where[at + field] = where(r, column);
        }
    }
    return out;
}

std::string csv_text(const std::array<std::string, document_fields> &fields) {
    std::string out(byte_order_mark);
    out += "Channel,Label,Transmit MHz,Receive MHz\r\n";
    for (std::size_t row = 1; row <= channel_count; ++row) {
        const std::size_t at = row * document_columns;
        out += std::to_string(row) + "," + quoted_cell(fields[at]) + "," +
               quoted_cell(mhz_cell(fields[at + tx_column])) + "," +
               quoted_cell(mhz_cell(fields[at + rx_column])) + "\r\n";
    }
    return out;
}

} // namespace freqimg
