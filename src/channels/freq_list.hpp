// The channel list and the two strips made from it, as pure functions over
// bytes: nothing here opens a file.
//
// "freq.dat" is read as white-space-separated tokens, line structure aside:
// a header row of three, then twenty channel rows of label, transmit entry
// and receive entry. A strip is one column's twenty six-character entries in
// row order, 120 characters with no separator.
#pragma once

#include "common/fault.hpp"
#include "image/image_template.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace freqimg {

inline constexpr const char *freq_list_path = "freq.dat";
inline constexpr std::size_t tx_column = 1;
inline constexpr std::size_t rx_column = 2;

// What a channel entry marked "-" becomes: 476425 with the top bit of its
// first byte set.
inline constexpr std::string_view blank_entry = "C76425";

// How far into "freq.dat" its 63 tokens must have ended. Labels may be long,
// but an endless token (a link to /dev/zero, a sparse file) must not be
// read for ever.
inline constexpr std::size_t freq_list_limit = 65536;

// A token kept to its first six characters, with a terminator.
using freq_field = std::array<char, window_entry_size + 1>;
using freq_table = std::array<std::array<freq_field, 3>, channel_count + 1>;

// The line of "freq.dat" each field of a freq_table was read from.
using field_lines = std::array<std::array<unsigned, 3>, channel_count + 1>;

// Counts lines as editors end them: a line feed, a carriage return and a
// line feed, or a carriage return alone (old Mac editors) each end one.
class line_counter {
  public:
    unsigned line() const { return line_; }
    void see(char c) {
        if (c == '\r' || (c == '\n' && !after_cr_))
            ++line_;
        after_cr_ = c == '\r';
    }

  private:
    unsigned line_ = 1;
    bool after_cr_ = false;
};

// Skips the blanks that separate tokens (blank, tab, line feed, vertical
// tab, form feed, carriage return) at the start of `text`, counting its
// lines on `lines`. Returns how many bytes were blanks.
std::size_t skip_blanks(std::string_view text, line_counter &lines);

// How far past the list "freq.dat" is looked through for what follows it.
inline constexpr std::size_t rest_look_limit = 16 << 20;

// Looks through what follows the list in "freq.dat" a piece at a time, as
// the file is read, for where text begins (a twenty-first channel, say,
// which must not be dropped in silence): to the file's end, or through
// rest_look_limit bytes of blanks, after which it only asks whether the
// file goes on. Lines are counted on from `counted`.
class rest_search {
  public:
    explicit rest_search(line_counter counted) : counted_(counted) {}

    // Takes the next piece; an empty one is the end of the file. Returns
    // true once the search is over.
    bool see(std::string_view piece);

    // Where text begins; 0 when none was found.
    unsigned line() const { return line_; }
    // Whether more than rest_look_limit bytes of blanks were followed by
    // more of the file, unread.
    bool gave_up() const { return gave_up_; }

  private:
    line_counter counted_;
    std::size_t looked_ = 0;
    unsigned line_ = 0;
    bool gave_up_ = false, over_ = false;
};

// Returns the warning that the file goes on past rest_look_limit bytes of
// blanks after channel 20, which could not be read.
warning blanks_warning();

// What follows the list in the text given to parse_freq_list.
struct list_rest {
    unsigned line = 0;    // where more text begins; 0 when only blanks follow
    line_counter counted; // the lines counted to the end of the text
};

// What parse_freq_list read: a fault, the table, the line of each field,
// and what follows the 63rd token.
struct parsed_list {
    fault failure;
    freq_table table{};
    field_lines lines{};
    list_rest rest;
    // The field (row * 3 + column) whose own entry a fault is about; past
    // the last field for a fault about the list as a whole.
    std::size_t bad_entry = (channel_count + 1) * 3;
};

// Reads the first 63 tokens of `text`, the first bytes of "freq.dat", into
// a table, and the line of each. Text up to `limit` bytes is
// the whole file; longer text is cut from a longer file, and the 63rd token
// must then end within its first `limit` bytes, so a reader that keeps one
// byte past the limit can tell a token that ends there from one that runs
// on. Every transmit and receive field must begin with "-" (blank) or be
// exactly six hex digits; labels and the header row may hold anything. A
// field that spells a frequency another way ("476.425", "476425000") gets
// the advice to write it as its entry. Text saved as UTF-16 (with or without
// a byte-order mark, in either byte order) is refused as such.
// A fault names "freq.dat" and the line; the table then holds the fields
// read before it.
parsed_list parse_freq_list(std::string_view text, std::size_t limit = freq_list_limit);

// Returns what is wrong with field `column` (0-2) of row `row` (0 the
// header) of the list when it holds `token`, as parse_freq_list says it
// after the file and line: "channel 11 transmit field "476.650" is not six
// hex digits; write 476.650 MHz as 476650". An empty text for a label, the
// header row, and an entry that is blank or six hex digits.
std::string field_fault_text(std::size_t row, std::size_t column, std::string_view token);

// Returns the entry a field means that spells a frequency another way
// ("476.425" and "476425kHz" give "476425"), as parse_freq_list advises
// writing it; an empty text for any other field.
freq_field spelled_entry(std::string_view token);

// The first tokens of a text as parse_freq_list reads them, whatever they
// hold: each with its line, where the last one ends, and the lines counted
// to there.
struct list_token {
    std::string_view text;
    unsigned line;
};
struct token_split {
    std::vector<list_token> tokens;
    std::size_t end = 0;
    line_counter counted;
};
token_split split_tokens(std::string_view text, std::size_t most);

// Returns how messages name field `column` (0-2) of a channel row:
// "label", "transmit field", "receive field".
const char *field_name(std::size_t column);

// Returns true when an entry spells the blank entry's bytes, in either case.
bool is_blank_entry(std::string_view entry);

// Returns true when a six-hex-digit entry is a frequency the radio can hold:
// six decimal digits (packed BCD), or the blank entry in either case.
bool holds_frequency(std::string_view entry);

// Returns a warning for the field of `channel` (1-20) in `column` when it is
// an entry but no frequency ("47642a"): it is sent as written, but the radio
// cannot tune to it. Returns an empty warning for any other field.
warning entry_warning(const freq_table &table, const field_lines &lines, std::size_t channel,
                      std::size_t column);

// Returns the warning that text follows the list, at `line` of "freq.dat":
// a twenty-first channel, say, which must not be dropped in silence.
warning rest_warning(unsigned line);

// Returns the strip of `column` (tx_column or rx_column) of a table that
// parse_freq_list accepted: a blank field gives blank_entry, any other is
// copied character for character, lower case included.
strip make_strip(const freq_table &table, std::size_t column);

// Reads the bytes of a strip file: exactly 120 hex digits and nothing else.
// Returns a fault naming `name` and the file's `size` (when more than the
// bytes given) otherwise.
fault parse_strip(std::string_view name, std::string_view bytes, strip &out,
                  std::uint64_t size = 0);

} // namespace freqimg
