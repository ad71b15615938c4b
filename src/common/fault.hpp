// The one error path: a failure is carried back to main as the text that
// follows "freqimg: " on standard error; and what every message needs to
// show what it names safely.
#pragma once

#include <array>
#include <cstdarg>
#include <string>
#include <string_view>

namespace freqimg {

// A failure to report, its text whole; an empty text means all went well.
struct fault {
    std::string text;

    explicit operator bool() const { return !text.empty(); }
    const char *c_str() const { return text.c_str(); }
};

// Something the user should know that does not stop the run: what it is
// about ("freq.dat:7", "standard input"; empty for the run as a whole) and
// what it says. An empty text means there is nothing to say.
struct warning {
    std::string about;
    std::string text;

    explicit operator bool() const { return !text.empty(); }
    // "ABOUT: warning: TEXT", or "warning: TEXT" about the run as a whole:
    // the line a command prints after its name.
    std::string line() const;
};

// MinGW's printf takes C99 formats (%zu) in the GNU form of the check.
#if defined(__MINGW32__)
#define FREQIMG_PRINTF(string, first) [[gnu::format(gnu_printf, string, first)]]
#else
#define FREQIMG_PRINTF(string, first) [[gnu::format(printf, string, first)]]
#endif

// Returns a fault whose text is formatted as by printf, however long.
FREQIMG_PRINTF(1, 2) fault make_fault(const char *format, ...);

// Returns "NAME: WHAT: REASON", with REASON the system's text for its error
// number `error` ("temptx.dat: cannot create: Permission denied").
fault system_fault(std::string_view name, const char *what, int error);

// Returns the text formatted as by printf, however long.
FREQIMG_PRINTF(1, 2) std::string formatted(const char *format, ...);

// Returns `text` in double quotes, safe to print: bytes outside printable
// ASCII, the quote and the backslash are escaped, and text past its first 20
// bytes is cut and marked with "...". For a field of the channel list.
std::array<char, 96> quoted(std::string_view text);

// Returns a name the user gave or a device reported (a file, a port, an
// adapter's product string) as GNU's ls shows names: as it is where every
// character is plain; in quotes where it holds a blank or a character a
// shell reads otherwise ('a b', "it's"); and with every byte that is no
// printable character (a control character, a byte of no UTF-8 character)
// written as $'\n' or $'\033' outside the quotes, so that no name printed
// can move the cursor, retitle the terminal or start a line of its own.
std::string quoted_name(std::string_view name);

// The same, always in quotes: what follows "invalid speed" or "extra
// operand" ('12345').
std::string quoted_value(std::string_view value);

// Free text a device reports (an adapter's product string): as it is when
// every character is printable, blanks and all ("FT232R USB UART");
// otherwise quoted as a name.
std::string quoted_text(std::string_view text);

} // namespace freqimg
