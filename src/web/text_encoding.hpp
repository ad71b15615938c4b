// The encodings a channel list comes in: UTF-8 (ASCII among it), or, for a
// file that is not UTF-8, Windows-1252: "ANSI" text as a Windows editor
// saves it in Western Europe, and what browsers take text of no stated
// encoding for.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace freqimg {

enum class text_encoding { utf8, windows_1252 };

// Returns the length of the UTF-8 character that starts `text`, or 0 when
// it starts with no whole, shortest-form character (a surrogate and a code
// point past U+10FFFF are none).
std::size_t utf8_length(std::string_view text);

// Returns the encoding `text` is in: UTF-8 when it is UTF-8 throughout.
text_encoding encoding_of(std::string_view text);

// Returns Windows-1252 `text` in UTF-8. Every byte is a character (the five
// the code page leaves out are the C1 controls of the same number, as
// browsers read them), so the way back gives the same bytes.
std::string utf8_from_windows_1252(std::string_view text);

// Sets `out` to UTF-8 `text` in Windows-1252. Returns false when `text`
// holds a character Windows-1252 has not, or bytes that are not UTF-8:
// each is then "?" in `out`.
bool windows_1252_from_utf8(std::string_view text, std::string &out);

} // namespace freqimg
