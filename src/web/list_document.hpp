// The channel list as the page edits it: the 63 fields of a "freq.dat", a
// header row and twenty channel rows, and what followed them in the file
// opened, kept as it was. Every check is the list reader's own, run on the
// text the page would save, so that what the page says of a list is what
// freqimg says of that file.
#pragma once

#include "common/fault.hpp"
#include "image/image_frame.hpp"
#include "image/image_template.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace freqimg {

inline constexpr std::size_t document_columns = 3;
inline constexpr std::size_t document_fields = (channel_count + 1) * document_columns;

// What is said of one field (its index, 0-62: row * 3 + column, row 0 the
// header), or of the list as a whole (`field` past the last).
struct field_message {
    std::size_t field = document_fields;
    bool error = false;
    std::string text; // as freqimg prints it after its name
};

// What a check of the list found, and the stream it makes when nothing
// stands in the way.
struct list_check {
    std::vector<field_message> messages;
    bool sound = false;   // no error: the stream can be made
    bool savable = false; // every field one word: the list can be saved
    image_stream stream;
};

class list_document {
  public:
    // The list of a new document: the header row and twenty blank channels.
    list_document();

    // Takes the fields of `text`, a "freq.dat" as opened, and what follows
    // its 63rd token as it stands; missing fields stay empty. What freqimg
    // says of the file as a whole (it is empty, ends early, is UTF-16) is
    // said by check() until a field is changed.
    void open(std::string_view text);

    const std::string &field(std::size_t index) const { return fields_[index]; }
    void set_field(std::size_t index, std::string_view text);

    // Writes a channel field that spells a frequency another way
    // ("476.425") as the entry it means ("476425"). Returns true when it did.
    bool settle_field(std::size_t index);

    // The "freq.dat" the document saves as: the header row, one row a line
    // in aligned columns, then what followed the list in the file opened,
    // with the line ends that file used.
    std::string text() const;

    // Checks the list as freqimg checks "freq.dat": every fault of a field,
    // not only the first (each in the words freqimg gives it when it is the
    // first), every warning, and what the page cannot save: an empty field,
    // or one with a blank in it, which would run into its neighbours.
    list_check check() const;

  private:
    std::array<std::string, document_fields> fields_;
    fault opened_; // what freqimg says of the file opened as a whole, until an edit
    std::string rest_;
    bool crlf_ = false;
};

// The reading of an entry field in the table: "476.425 MHz", "blank",
// "not a frequency", or empty for a field that is no entry.
std::string field_reading(std::string_view field);

} // namespace freqimg
