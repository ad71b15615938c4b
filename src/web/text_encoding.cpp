#include "web/text_encoding.hpp"

#include <algorithm>
#include <array>
#include <iterator>

namespace freqimg {
namespace {

// What Windows-1252 makes of 0x80 to 0x9F; the rest of its bytes are the
// code points of the same number.
// clang-format off
constexpr std::array<char32_t, 32> high_controls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178}; // 98
// clang-format on

char32_t code_point_of(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? high_controls[byte - 0x80U] : byte;
}

void append_utf8(std::string &out, char32_t c) {
    auto put = [&out](char32_t bits) { out += static_cast<char>(bits); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6U));
        put(0x80 | (c & 0x3FU));
    } else {
        put(0xE0 | (c >> 12U));
        put(0x80 | ((c >> 6U) & 0x3FU));
        put(0x80 | (c & 0x3FU));
    }
}

char32_t decode(std::string_view character) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(character[i]); };
    if (character.size() == 1)
        return byte(0);
    char32_t c = byte(0) & (0x7FU >> character.size());
    for (std::size_t i = 1; i < character.size(); ++i)
        c = (c << 6U) | (byte(i) & 0x3FU);
    return c;
}

} // namespace

std::size_t utf8_length(std::string_view text) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    std::size_t n = lead < 0x80                   ? 1
                    : lead >= 0xC2 && lead < 0xE0 ? 2
                    : lead >= 0xE0 && lead < 0xF0 ? 3
                    : lead >= 0xF0 && lead < 0xF5 ? 4
                                                  : 0;
    if (n == 0 || n > text.size())
        return 0;
    for (std::size_t i = 1; i < n; ++i)
        if ((byte(i) & 0xC0U) != 0x80)
            return 0;
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) >= 0xA0) ||
        (lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) >= 0x90))
        return 0;
    return n;
}

text_encoding encoding_of(std::string_view text) {
    for (std::size_t i = 0, n; i < text.size(); i += n)
        if ((n = utf8_length(text.substr(i))) == 0)
            return text_encoding::windows_1252;
    return text_encoding::utf8;
}

std::string utf8_from_windows_1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        append_utf8(out, code_point_of(static_cast<unsigned char>(c)));
    return out;
}

bool windows_1252_from_utf8(std::string_view text, std::string &out) {
    out.clear();
    bool whole = true;
    for (std::size_t i = 0, n; i < text.size(); i += std::max<std::size_t>(n, 1)) {
        n = utf8_length(text.substr(i));
        char32_t c = n == 0 ? 0xFFFD : decode(text.substr(i, n));
        const auto *high = std::find(high_controls.begin(), high_controls.end(), c);
        if (high != high_controls.end())
            out += static_cast<char>(0x80 + (high - high_controls.begin()));
        else if (c < 0x100 && (c < 0x80 || c >= 0xA0))
            out += static_cast<char>(c);
        else {
            out += '?';
            whole = false;
        }
    }
    return whole;
}

} // namespace freqimg
