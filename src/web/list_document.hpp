// The channel list as the page edits it: the 63 fields of a "freq.dat", a
// header row and twenty channel rows, opened from a file or a spreadsheet's
// CSV, and what followed them in the file, kept as it was. Every check is
// the list reader's own, run on the text the page would save, so that what
// the page says of a list is what freqimg says of that file; each message
// names the file and line (or row and column) its field came from.
#pragma once

#include "channels/freq_list.hpp"
#include "common/fault.hpp"
#include "image/image_frame.hpp"
#include "image/image_template.hpp"
#include "web/text_encoding.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace freqimg {

inline constexpr std::size_t document_columns = 3;
inline constexpr std::size_t document_fields = (channel_count + 1) * document_columns;

// The most of a "freq.dat" freqimg reads: its first freq_list_limit bytes
// and one, then what follows the list, a piece of as many at a time, for
// rest_look_limit bytes of blanks and one byte more. The page reads as much
// and keeps what lies past it as it stands.
inline constexpr std::size_t document_read_limit =
    (freq_list_limit + 1) * (1 + (rest_look_limit + freq_list_limit) / (freq_list_limit + 1)) + 1;

// What is said of one field (its index, 0-62: row * 3 + column, row 0 the
// header), or of the list as a whole (`field` past the last).
struct field_message {
    std::size_t field = document_fields;
    bool error = false;
    // Where it is in the file opened: "freq.dat, line 4", "freq.csv, row
    // 4, column C"; empty for a field no file gave.
    std::string where;
    // What freqimg says after the file and line: "channel 3 transmit field
    // "47642G" is not six hex digits".
    std::string text;
};

// What a check of the list found, and the stream it makes when nothing
// stands in the way.
struct list_check {
    std::vector<field_message> messages;
    bool sound = false;   // no error: the stream can be made
    bool savable = false; // every field one word the file can hold: the list can be saved
    image_stream stream;
};

class list_document {
  public:
    // The list of a new document: the header row and twenty blank channels.
    list_document();

    // Takes the fields of `text`, the first bytes (at most
    // document_read_limit) of the "freq.dat" named `name`, and what follows
    // its 63rd token as it stands; missing fields stay empty. A file that is
    // not UTF-8 is read as Windows-1252 and saved so again; its line ends
    // are kept. What freqimg says of the file as a whole (it is empty, ends
    // early, is UTF-16) is said by check() until a field is changed; what it
    // says of what follows the list, always.
    void open(std::string_view text, std::string_view name);

    // Takes the channels of `text`, a spreadsheet's CSV named `name`
    // (read_csv_list), and what it says of the file until a field changes.
    void open_csv(std::string_view text, std::string_view name);

    // Takes the fields of `text`, a list of no file (freqimg-inspect's
    // --freq-list of a stream): nothing names a line of it.
    void take(std::string_view text);

    // A field, in UTF-8.
    const std::string &field(std::size_t index) const { return fields_[index]; }
    void set_field(std::size_t index, std::string_view utf8);

    // Writes a channel field that spells a frequency another way
    // ("476.425", " 476.425 MHz ", " 476425 ") as the entry it means
    // ("476425"). Returns true when it did.
    bool settle_field(std::size_t index);

    // Fills the fields from `at` to the right and down with `text`, cells
    // copied from a spreadsheet: tab-separated, a row a line. Entries and
    // labels are read as a spreadsheet's CSV cells are (cell_entry,
    // cell_label); cells past the table are left out.
    void paste(std::size_t at, std::string_view text);

    // The "freq.dat" the document saves as, in the encoding and with the
    // line ends of the file opened: the header row, one row a line in
    // aligned columns, then what followed the list in the file opened.
    std::string text() const;

    // The list as CSV (csv_text).
    std::string csv() const;

    text_encoding encoding() const { return encoding_; }

    // Checks the list as freqimg checks "freq.dat": every fault of a field,
    // not only the first (each in the words freqimg gives it when it is the
    // first), every warning, and what the page cannot save: an empty field,
    // one with a space in it, which would run into its neighbours, and a
    // character the file's encoding has not.
    list_check check() const;

  private:
    void reset();

    std::array<std::string, document_fields> fields_;
    std::array<std::string, document_fields> where_;
    std::vector<field_message> opened_;    // said of the file opened as a whole, until an edit
    std::vector<field_message> rest_said_; // said of what follows the list
    std::string rest_;
    std::string_view line_end_ = "\n";
    text_encoding encoding_ = text_encoding::utf8;
};

// The reading of an entry field in the table: "476.425 MHz", "blank",
// "not a frequency", or empty for a field that is no entry.
std::string field_reading(std::string_view field);

} // namespace freqimg
