#include "web/list_document.hpp"

#include "channels/freq_list.hpp"
#include "stream/stream_report.hpp"

#include <algorithm>

namespace freqimg {
namespace {

constexpr bool is_channel_entry(std::size_t index) {
    return index >= document_columns && index % document_columns != 0;
}

// The field as freqimg's messages name it.
std::string field_title(std::size_t index) {
    std::size_t row = index / document_columns, column = index % document_columns;
    if (row == 0)
        return formatted("header row field %zu", column + 1);
    return formatted("channel %zu %s", row, field_name(column));
}

bool holds_blank(std::string_view text) {
    line_counter ignored;
    return std::any_of(text.begin(), text.end(), [&](char c) {
        return skip_blanks({&c, 1}, ignored) == 1;
    });
}

using field_ends = std::array<std::size_t, document_fields>;

// The text of `fields` and `rest` as a "freq.dat": one row a line, the
// first two columns padded to their widest field and two blanks. Sets
// `ends`, where given, to where each field ends in it.
std::string compose(const std::array<std::string, document_fields> &fields, const std::string &rest,
                    bool crlf, field_ends *ends = nullptr) {
    std::array<std::size_t, document_columns> width{};
    for (std::size_t i = 0; i < document_fields; ++i)
        width[i % document_columns] = std::max(width[i % document_columns], fields[i].size() + 2);
    std::string out;
    for (std::size_t i = 0; i < document_fields; ++i) {
        std::size_t column = i % document_columns;
        out += fields[i];
        if (ends != nullptr)
            (*ends)[i] = out.size();
        if (column < 2)
            out.append(width[column] - fields[i].size(), ' ');
        else if (i + 1 < document_fields)
            out += crlf ? "\r\n" : "\n";
    }
    line_counter ignored;
    if (skip_blanks(rest, ignored) < rest.size())
        return out + rest;
    return out + (crlf ? "\r\n" : "\n");
}

// Where text begins after the list in `text`, read as freqimg reads
// "freq.dat": its first bytes, then what follows them.
unsigned rest_line(std::string_view text, const parsed_list &list) {
    constexpr std::size_t read = freq_list_limit + 1;
    if (list.rest.line != 0 || text.size() <= read)
        return list.rest.line;
    line_counter counted = list.rest.counted;
    std::string_view after = text.substr(read);
    return skip_blanks(after, counted) < after.size() ? counted.line() : 0;
}

} // namespace

list_document::list_document() {
    constexpr std::array<std::string_view, document_columns> header{"Channel", "Transmit",
                                                                    "Receive"};
    std::copy(header.begin(), header.end(), fields_.begin());
    for (std::size_t row = 1; row <= channel_count; ++row) {
        fields_[row * document_columns] = formatted("CH%02zu", row);
        // assign(1, c): GCC 12 sees a false overlap in `= "-"` (-Wrestrict).
        fields_[row * document_columns + tx_column].assign(1, '-');
        fields_[row * document_columns + rx_column].assign(1, '-');
    }
}

void list_document::open(std::string_view text) {
    std::size_t end = 0;
    std::vector<std::string_view> tokens = list_tokens(text, document_fields, end);
    for (std::size_t i = 0; i < document_fields; ++i)
        fields_[i] = i < tokens.size() ? std::string(tokens[i]) : std::string();
    rest_ = tokens.size() == document_fields ? std::string(text.substr(end)) : std::string();
    crlf_ = text.find("\r\n") != std::string_view::npos;
    parsed_list list = parse_freq_list(text.substr(0, std::min(text.size(), freq_list_limit + 1)));
    opened_ = list.failure && list.bad_entry >= document_fields ? list.failure : fault{};
}

void list_document::set_field(std::size_t index, std::string_view text) {
    fields_[index] = text;
    opened_ = {};
}

bool list_document::settle_field(std::size_t index) {
    if (!is_channel_entry(index))
        return false;
    freq_field entry = spelled_entry(fields_[index]);
    if (entry[0] == '\0')
        return false;
    set_field(index, entry.data());
    return true;
}

std::string list_document::text() const {
    return compose(fields_, rest_, crlf_);
}

list_check list_document::check() const {
    list_check out;
    if (opened_)
        out.messages.push_back({document_fields, true, opened_.text});
    // A field that cannot be saved as it stands is checked as one that can,
    // so that the rest of the list is checked all the same.
    std::array<std::string, document_fields> checked = fields_;
    out.savable = true;
    for (std::size_t i = 0; i < document_fields; ++i) {
        const char *why = checked[i].empty()        ? "is empty"
                          : holds_blank(checked[i]) ? "holds a blank; a field is one word"
                                                    : nullptr;
        if (why == nullptr)
            continue;
        out.messages.push_back(
            {i, true,
             formatted("%s:%zu: %s %s%s", freq_list_path, i / document_columns + 1,
                       field_title(i).c_str(), why,
                       is_channel_entry(i) ? "; write its entry, or - for a blank channel" : "")});
        checked[i].assign(1, is_channel_entry(i) ? '-' : '_');
        out.savable = false;
    }
    // Each channel entry as the reader checks it, once; the text saved holds
    // row r on line r + 1. A faulty one is set aside ("-"), so that the
    // reader takes the rest of the list all the same.
    std::vector<field_message> faulty;
    for (std::size_t i = document_columns; i < document_fields; ++i) {
        const std::size_t row = i / document_columns;
        fault f =
            field_fault(row, i % document_columns, checked[i], static_cast<unsigned>(row + 1));
        if (!f)
            continue;
        faulty.push_back({i, true, std::move(f.text)});
        checked[i].assign(1, '-');
    }
    field_ends ends{};
    const std::string composed = compose(checked, rest_, crlf_, &ends);
    // The reader reaches only the fields that end within its first bytes.
    for (field_message &m : faulty)
        if (composed.size() <= freq_list_limit || ends[m.field] <= freq_list_limit)
            out.messages.push_back(std::move(m));
    parsed_list list = parse_freq_list(std::string_view(composed).substr(0, freq_list_limit + 1));
    if (list.failure) { // about the list as a whole: a list too long to read
        out.messages.push_back({document_fields, true, list.failure.text});
        return out;
    }
    for (std::size_t channel = 1; channel <= channel_count; ++channel)
        for (std::size_t column : {tx_column, rx_column})
            if (warning w = entry_warning(list.table, list.lines, channel, column))
                out.messages.push_back({channel * document_columns + column, false, w.line()});
    if (unsigned line = rest_line(composed, list); line != 0)
        out.messages.push_back({document_fields, false, rest_warning(line).line()});
    out.sound = std::none_of(out.messages.begin(), out.messages.end(),
                             [](const field_message &m) { return m.error; });
    if (out.sound) {
        strip tx = make_strip(list.table, tx_column), rx = make_strip(list.table, rx_column);
        out.stream = compose_stream({tx.data(), tx.size()}, {rx.data(), rx.size()});
    }
    // In the order of the fields, the list's own last, as freqimg gives them.
    std::stable_sort(
        out.messages.begin(), out.messages.end(),
        [](const field_message &a, const field_message &b) { return a.field < b.field; });
    return out;
}

std::string field_reading(std::string_view field) {
    if (field.starts_with('-') || is_blank_entry(field))
        return "blank";
    if (field.size() != window_entry_size || !std::all_of(field.begin(), field.end(), is_hex_digit))
        return {};
    if (!holds_frequency(field))
        return "not a frequency";
    return shown_entry(field) + " MHz";
}

} // namespace freqimg
