// The one error path: a failure is carried back to main as the text that
// follows "freqimg: " on standard error.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace freqimg {

// A failure to report; an empty text means all went well.
struct fault {
    std::array<char, 256> text{};

    explicit operator bool() const { return text[0] != '\0'; }
    const char *c_str() const { return text.data(); }
};

// MinGW's printf takes C99 formats (%zu) in the GNU form of the check.
#if defined(__MINGW32__)
#define FREQIMG_PRINTF(string, first) [[gnu::format(gnu_printf, string, first)]]
#else
#define FREQIMG_PRINTF(string, first) [[gnu::format(printf, string, first)]]
#endif

// Returns a fault whose text is formatted as by printf, cut to fit.
FREQIMG_PRINTF(1, 2) fault make_fault(const char *format, ...);

// Returns the text formatted as by printf, however long.
FREQIMG_PRINTF(1, 2) std::string formatted(const char *format, ...);

// Returns `text` in double quotes, safe to print: bytes outside printable
// ASCII, the quote and the backslash are escaped, and text past its first 20
// bytes is cut and marked with "...".
std::array<char, 96> quoted(std::string_view text);

} // namespace freqimg
