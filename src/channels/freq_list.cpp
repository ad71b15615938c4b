#include "channels/freq_list.hpp"

#include "image/image_frame.hpp"

#include <algorithm>
#include <cstdio>

namespace freqimg {
namespace {

constexpr std::size_t row_fields = 3;
constexpr std::size_t token_count = (channel_count + 1) * row_fields;

constexpr bool is_token_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Text saved as UTF-16 (Notepad's "Unicode"): most of the first characters,
// after a byte-order mark if there is one, a byte of text beside a zero byte,
// in either order. A list's digits and blanks are ASCII, so its UTF-16 has
// the zero bytes; no text of one byte a character has them.
bool is_utf16(std::string_view text) {
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
        text.remove_prefix(2);
    std::size_t units = std::min<std::size_t>(text.size() / 2, 32), little = 0, big = 0;
    for (std::size_t i = 0; i < units; ++i) {
        bool low_zero = text[2 * i] == '\0', high_zero = text[2 * i + 1] == '\0';
        little += !low_zero && high_zero ? 1 : 0;
        big += low_zero && !high_zero ? 1 : 0;
    }
    return units >= 2 && 4 * std::max(little, big) >= 3 * units;
}

constexpr bool is_decimal_digit(char c) {
    return c >= '0' && c <= '9';
}

bool all_decimal(std::string_view text) {
    return std::all_of(text.begin(), text.end(), is_decimal_digit);
}

bool is_six_hex_digits(std::string_view token) {
    return token.size() == window_entry_size &&
           std::all_of(token.begin(), token.end(), is_hex_digit);
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

// The one entry a field that spells a frequency another way means (empty
// for none), and the unit it is read in when it names none.
struct spelling {
    freq_field entry{};
    const char *implied = "";
};

spelling read_spelling(std::string_view token) {
    spelling out;
    struct unit {
        std::string_view name;
        std::size_t hz_digits; // digits between the unit and Hz
    };
    constexpr unit units[] = {{"MHz", 6}, {"kHz", 3}, {"Hz", 0}};
    std::string_view number = token;
    const unit *given = nullptr;
    for (const unit &u : units)
        if (number.size() > u.name.size() &&
            equal_ignoring_case(number.substr(number.size() - u.name.size()), u.name)) {
            given = &u;
            number.remove_suffix(u.name.size());
            break;
        }
    std::size_t point = std::min(number.find_first_of(".,"), number.size());
    std::string_view whole = number.substr(0, point);
    std::string_view fraction = number.substr(std::min(point + 1, number.size()));
    if (whole.empty() || !all_decimal(whole) || !all_decimal(fraction) ||
        (point < number.size() && fraction.empty()) || number.size() > 32)
        return out;
    // Unmarked, a number with a point is MHz and one of nine digits is Hz.
    if (given == nullptr && point < number.size()) {
        given = &units[0];
        out.implied = " MHz";
    } else if (given == nullptr && whole.size() == 9) {
        given = &units[2];
        out.implied = " Hz";
    } else if (given == nullptr) {
        return out;
    }
    // The frequency in Hz: the fraction's digits up to the unit, then only
    // zeros; in whole kHz, so its last three digits must be zero too.
    std::size_t shift = given->hz_digits;
    if (fraction.size() > shift &&
        fraction.substr(shift).find_first_not_of('0') != std::string_view::npos)
        return out;
    std::array<char, 48> hz{};
    std::size_t n = 0;
    for (char c : whole)
        hz[n++] = c;
    for (std::size_t i = 0; i < shift; ++i)
        hz[n++] = i < fraction.size() ? fraction[i] : '0';
    std::string_view digits(hz.data(), n);
    if (!digits.ends_with("000"))
        return out;
    digits.remove_suffix(3);
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.empty() || digits.size() > window_entry_size)
        return out;
    std::size_t zeros = window_entry_size - digits.size();
    std::fill_n(out.entry.begin(), zeros, '0');
    std::copy(digits.begin(), digits.end(), out.entry.begin() + static_cast<std::ptrdiff_t>(zeros));
    return out;
}

// For a field that spells a frequency another way ("476.425", "476.4250",
// "476,425", "476.425MHz", "476425kHz", "476425000" in Hz), the advice to
// write it as the one entry it means ("476425"); otherwise an empty text.
std::array<char, 64> frequency_hint(std::string_view token) {
    std::array<char, 64> hint{};
    spelling s = read_spelling(token);
    if (s.entry[0] == '\0')
        return hint;
    std::snprintf(hint.data(), hint.size(), "; write %.*s%s as %s", static_cast<int>(token.size()),
                  token.data(), s.implied, s.entry.data());
    return hint;
}

fault list_ends_early(std::size_t tokens, unsigned line) {
    const char *name = freq_list_path;
    if (tokens == 0)
        return make_fault("%s:%u: list is empty", name, line);
    if (tokens < row_fields)
        return make_fault("%s:%u: list ends in its header row", name, line);
    return make_fault("%s:%u: list ends before the %s of channel %zu", name, line,
                      field_name(tokens % row_fields), tokens / row_fields);
}

} // namespace

std::size_t skip_blanks(std::string_view text, line_counter &lines) {
    std::size_t n = 0;
    for (; n < text.size() && is_token_space(text[n]); ++n)
        lines.see(text[n]);
    return n;
}

namespace {

// The token of `text` that begins at or after `pos`, the blanks before it
// counted on `lines`; leaves `pos` where it ends. Empty at the end of the
// text.
std::string_view next_token(std::string_view text, std::size_t &pos, line_counter &lines) {
    pos += skip_blanks(text.substr(pos), lines);
    std::size_t start = pos;
    while (pos < text.size() && !is_token_space(text[pos]))
        ++pos;
    return text.substr(start, pos - start);
}

// The tokens of `text` into `out`, as parse_freq_list reads them.
fault read_tokens(std::string_view text, std::size_t limit, parsed_list &out) {
    if (is_utf16(text))
        return make_fault("%s: is UTF-16 text; save it as plain text (UTF-8 or ANSI)",
                          freq_list_path);
    const bool whole = text.size() <= limit;
    std::size_t pos = 0;
    line_counter counted;
    unsigned last_token_line = 1;
    for (std::size_t t = 0; t < token_count; ++t) {
        std::string_view token = next_token(text, pos, counted);
        const unsigned line = counted.line();
        if (token.empty() && whole)
            return list_ends_early(t, last_token_line);
        // A token that ends at `limit` is followed by a separator inside the
        // text; one that reaches past it may go on in the rest of the file.
        if (!whole && pos > limit)
            return make_fault("%s:%u: no list of 63 fields in the first %zu bytes", freq_list_path,
                              line, limit);
        last_token_line = line;

        std::size_t row = t / row_fields;
        std::size_t field = t % row_fields;
        if (std::string what = field_fault_text(row, field, token); !what.empty()) {
            out.bad_entry = t;
            return make_fault("%s:%u: %s", freq_list_path, line, what.c_str());
        }
        freq_field &slot = out.table[row][field];
        slot.fill('\0');
        std::copy_n(token.begin(), std::min(token.size(), window_entry_size), slot.begin());
        out.lines[row][field] = line;
    }
    // Where anything follows the list: a twenty-first channel, say.
    pos += skip_blanks(text.substr(pos), counted);
    out.rest = {pos < text.size() ? counted.line() : 0, counted};
    return {};
}

} // namespace

std::string field_fault_text(std::size_t row, std::size_t column, std::string_view token) {
    if (row == 0 || column == 0 || token.starts_with('-') || is_six_hex_digits(token))
        return {};
    return formatted("channel %zu %s %s is not six hex digits%s", row, field_name(column),
                     quoted(token).data(), frequency_hint(token).data());
}

bool rest_search::see(std::string_view piece) {
    if (over_)
        return true;
    if (looked_ >= rest_look_limit) {
        gave_up_ = !piece.empty();
        return over_ = true;
    }
    if (piece.empty())
        return over_ = true;
    if (skip_blanks(piece, counted_) < piece.size()) {
        line_ = counted_.line();
        return over_ = true;
    }
    looked_ += piece.size();
    return false;
}

warning blanks_warning() {
    return {freq_list_path, formatted("more than %zu MiB of blanks follow channel 20; the rest "
                                      "could not be read",
                                      rest_look_limit >> 20U)};
}

freq_field spelled_entry(std::string_view token) {
    return read_spelling(token).entry;
}

token_split split_tokens(std::string_view text, std::size_t most) {
    token_split out;
    line_counter counted;
    for (std::size_t pos = 0; out.tokens.size() < most;) {
        std::string_view token = next_token(text, pos, counted);
        if (token.empty())
            break;
        out.tokens.push_back({token, counted.line()});
        out.end = pos;
        out.counted = counted;
    }
    return out;
}

parsed_list parse_freq_list(std::string_view text, std::size_t limit) {
    parsed_list out;
    out.failure = read_tokens(text, limit, out);
    return out;
}

bool is_blank_entry(std::string_view entry) {
    return entry.size() == window_entry_size && (entry[0] == 'C' || entry[0] == 'c') &&
           std::equal(entry.begin() + 1, entry.end(), blank_entry.begin() + 1);
}

bool holds_frequency(std::string_view entry) {
    return is_blank_entry(entry) || (entry.size() == window_entry_size && all_decimal(entry));
}

warning entry_warning(const freq_table &table, const field_lines &lines, std::size_t channel,
                      std::size_t column) {
    const freq_field &field = table[channel][column];
    std::string_view entry(field.data());
    if (entry[0] == '-' || holds_frequency(entry))
        return {};
    return {formatted("%s:%u", freq_list_path, lines[channel][column]),
            formatted("channel %zu %s %s is not a frequency; it is sent as written", channel,
                      field_name(column), quoted(entry).data())};
}

const char *field_name(std::size_t column) {
    switch (column) {
    case 0:
        return "label";
    case tx_column:
        return "transmit field";
    default:
        return "receive field";
    }
}

warning rest_warning(unsigned line) {
    return {formatted("%s:%u", freq_list_path, line),
            "the list goes on after channel 20; the rest is not read"};
}

strip make_strip(const freq_table &table, std::size_t column) {
    strip out;
    for (std::size_t channel = 1; channel <= channel_count; ++channel) {
        const freq_field &field = table[channel][column];
        const char *entry = field[0] == '-' ? blank_entry.data() : field.data();
        std::copy_n(entry, window_entry_size, out.begin() + (channel - 1) * window_entry_size);
    }
    return out;
}

fault parse_strip(std::string_view name, std::string_view bytes, strip &out, std::uint64_t size) {
    if (bytes.size() != window_strip_size || !std::all_of(bytes.begin(), bytes.end(), is_hex_digit))
        return make_fault(
            "%.*s: changed since it was written (%llu bytes, not 120 hex digits)",
            static_cast<int>(name.size()), name.data(),
            static_cast<unsigned long long>(std::max<std::uint64_t>(size, bytes.size())));
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return {};
}

} // namespace freqimg
