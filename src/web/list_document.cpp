#include "web/list_document.hpp"

#include "stream/stream_report.hpp"
#include "web/list_csv.hpp"

#include <algorithm>
#include <charconv>

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

bool is_blank(char c) {
    line_counter ignored;
    return skip_blanks({&c, 1}, ignored) == 1;
}

bool holds_blank(std::string_view text) {
    return std::any_of(text.begin(), text.end(), is_blank);
}

using field_ends = std::array<std::size_t, document_fields>;

// The text of `fields` and `rest` as a "freq.dat": one row a line, the
// first two columns padded to their widest field and two blanks. Sets
// `ends`, where given, to where each field ends in it.
std::string compose(const std::array<std::string, document_fields> &fields, const std::string &rest,
                    std::string_view line_end, field_ends *ends = nullptr) {
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
            out += line_end;
    }
    line_counter ignored;
    if (skip_blanks(rest, ignored) < rest.size())
        return out + rest;
    return out.append(line_end);
}

// The line ends of `text`, as its first one ends.
std::string_view line_end_of(std::string_view text) {
    std::size_t at = text.find_first_of("\r\n");
    if (at == std::string_view::npos || text[at] == '\n')
        return "\n";
    return text.substr(at).starts_with("\r\n") ? "\r\n" : "\r";
}

// "NAME, line N", or "NAME" without a line; nothing for a list of no file.
std::string place(std::string_view name, unsigned line = 0) {
    if (name.empty() || line == 0)
        return std::string(name);
    return formatted("%.*s, line %u", static_cast<int>(name.size()), name.data(), line);
}

// A message of freqimg's about "freq.dat" ("freq.dat:4: list ends..." or
// "freq.dat: is UTF-16 text...") as one about the file `name`.
field_message about_file(const fault &f, std::string_view name) {
    std::string_view text = f.text;
    text.remove_prefix(std::string_view(freq_list_path).size());
    text.remove_prefix(std::min<std::size_t>(1, text.size())); // ':'
    unsigned line = 0;
    if (auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), line);
        error == std::errc())
        text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1); // "4:"
    text.remove_prefix(std::min<std::size_t>(1, text.size()));               // ' '
    return {document_fields, true, place(name, line), std::string(text)};
}

} // namespace

list_document::list_document() {
    reset();
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

void list_document::reset() {
    fields_ = {};
    where_ = {};
    opened_.clear();
    rest_said_.clear();
    rest_.clear();
    line_end_ = "\n";
    encoding_ = text_encoding::utf8;
}

void list_document::open(std::string_view text, std::string_view name) {
    reset();
    encoding_ = encoding_of(text);
    line_end_ = line_end_of(text);
    token_split split = split_tokens(text, document_fields);
    for (std::size_t i = 0; i < split.tokens.size(); ++i) {
        const list_token &t = split.tokens[i];
        fields_[i] =
            encoding_ == text_encoding::utf8 ? std::string(t.text) : utf8_from_windows_1252(t.text);
        where_[i] = place(name, t.line);
    }
    const std::string_view first = text.substr(0, std::min(text.size(), freq_list_limit + 1));
    if (parsed_list list = parse_freq_list(first);
        list.failure && list.bad_entry >= document_fields)
        opened_.push_back(about_file(list.failure, name));
    if (split.tokens.size() < document_fields)
        return;
    rest_ = text.substr(split.end);
    if (split.end > freq_list_limit)
        return; // the list runs past what freqimg reads: check() says so
    // Where text begins after the list, looked for as freqimg looks.
    line_counter counted = split.counted;
    std::string_view after = first.substr(split.end);
    unsigned line = 0;
    bool gave_up = false;
    if (skip_blanks(after, counted) < after.size()) {
        line = counted.line();
    } else if (first.size() == freq_list_limit + 1) {
        rest_search search(counted);
        for (std::size_t at = first.size();; at += freq_list_limit + 1)
            if (search.see(at < text.size() ? text.substr(at, freq_list_limit + 1) : ""))
                break;
        line = search.line();
        gave_up = search.gave_up();
    }
    if (line != 0)
        rest_said_.push_back({document_fields, false, place(name, line), rest_warning(line).text});
    if (gave_up)
        rest_said_.push_back({document_fields, false, place(name), blanks_warning().text});
}

void list_document::open_csv(std::string_view text, std::string_view name) {
    reset();
    line_end_ = "\r\n";
    csv_list list = read_csv_list(text, name);
    fields_ = std::move(list.fields);
    where_ = std::move(list.where);
    opened_ = std::move(list.messages);
}

void list_document::take(std::string_view text) {
    open(text, "");
}

void list_document::set_field(std::size_t index, std::string_view utf8) {
    fields_[index] = utf8;
    opened_.clear();
}

bool list_document::settle_field(std::size_t index) {
    if (!is_channel_entry(index))
        return false;
    // Blanks round it, and between a number and its unit, as the table's
    // own reading writes it ("476.425 MHz").
    std::string compact;
    for (char c : fields_[index])
        if (!is_blank(c))
            compact += c;
    freq_field entry = spelled_entry(compact);
    const bool an_entry = field_fault_text(1, tx_column, compact).empty();
    std::string settled = entry[0] != '\0' ? std::string(entry.data())
                          : an_entry       ? compact
                                           : fields_[index];
    if (settled == fields_[index])
        return false;
    set_field(index, settled);
    return true;
}

void list_document::paste(std::size_t at, std::string_view text) {
    if (text.ends_with('\n'))
        text.remove_suffix(1);
    if (text.ends_with('\r'))
        text.remove_suffix(1);
    std::size_t row = at / document_columns;
    for (std::size_t start = 0; start <= text.size() && row <= channel_count; ++row) {
        std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        std::string_view line = text.substr(start, end - start);
        std::size_t column = at % document_columns;
        for (std::size_t cell = 0; cell <= line.size() && column < document_columns; ++column) {
            std::size_t tab = std::min(line.find('\t', cell), line.size());
            std::string_view value = line.substr(cell, tab - cell);
            std::size_t index = row * document_columns + column;
            set_field(index, is_channel_entry(index) ? cell_entry(value) : cell_label(value));
            cell = tab + 1;
        }
        start = end + (text.substr(end).starts_with("\r\n") ? 2 : 1);
    }
}

std::string list_document::text() const {
    std::array<std::string, document_fields> encoded = fields_;
    if (encoding_ == text_encoding::windows_1252)
        for (std::size_t i = 0; i < document_fields; ++i)
            windows_1252_from_utf8(fields_[i], encoded[i]);
    return compose(encoded, rest_, line_end_);
}

std::string list_document::csv() const {
    return csv_text(fields_);
}

list_check list_document::check() const {
    list_check out;
    out.messages = opened_;
    out.messages.insert(out.messages.end(), rest_said_.begin(), rest_said_.end());
    // A field that cannot be saved as it stands is checked as one that can,
    // so that the rest of the list is checked all the same; each is then in
    // the file's encoding, as it would be saved.
    std::array<std::string, document_fields> checked = fields_;
    out.savable = true;
    for (std::size_t i = 0; i < document_fields; ++i) {
        std::string encoded;
        bool fits = encoding_ == text_encoding::utf8 || windows_1252_from_utf8(checked[i], encoded);
        const char *why = checked[i].empty()        ? "is empty"
                          : holds_blank(checked[i]) ? "holds a space; a field is one word"
                          : !fits
                              ? "holds a character that its file's encoding, Windows-1252, has not"
                              : nullptr;
        if (encoding_ == text_encoding::windows_1252)
            checked[i] = encoded;
        if (why == nullptr)
            continue;
        out.messages.push_back(
            {i, true, where_[i],
             formatted("%s %s%s", field_title(i).c_str(), why,
                       is_channel_entry(i) ? "; write its entry, or - for a blank channel" : "")});
        checked[i].assign(1, is_channel_entry(i) ? '-' : '_');
        out.savable = false;
    }
    // Each channel entry as the reader checks it, once. A faulty one is set
    // aside ("-"), so that the reader takes the rest of the list all the
    // same.
    std::vector<field_message> faulty;
    for (std::size_t i = document_columns; i < document_fields; ++i) {
        std::string what = field_fault_text(i / document_columns, i % document_columns, checked[i]);
        if (what.empty())
            continue;
        faulty.push_back({i, true, where_[i], std::move(what)});
        checked[i].assign(1, '-');
    }
    field_ends ends{};
    const std::string composed = compose(checked, rest_, line_end_, &ends);
    // The reader reaches only the fields that end within its first bytes.
    for (field_message &m : faulty)
        if (composed.size() <= freq_list_limit || ends[m.field] <= freq_list_limit)
            out.messages.push_back(std::move(m));
    parsed_list list = parse_freq_list(std::string_view(composed).substr(0, freq_list_limit + 1));
    if (list.failure) { // about the list as a whole: a list too long to read
        field_message whole = about_file(list.failure, "");
        whole.where.clear();
        if (std::none_of(opened_.begin(), opened_.end(),
                         [&whole](const field_message &m) { return m.text == whole.text; }))
            out.messages.push_back(std::move(whole));
        return out;
    }
    for (std::size_t channel = 1; channel <= channel_count; ++channel)
        for (std::size_t column : {tx_column, rx_column})
            if (warning w = entry_warning(list.table, list.lines, channel, column)) {
                std::size_t i = channel * document_columns + column;
                out.messages.push_back({i, false, where_[i], w.text});
            }
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
