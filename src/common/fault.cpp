#include "fault.hpp"

#include <cstdarg>
#include <cstdio>

namespace freqimg {

fault make_fault(const char *format, ...) {
    fault f;
    va_list args;
    va_start(args, format);
    std::vsnprintf(f.text.data(), f.text.size(), format, args);
    va_end(args);
    return f;
}

std::string formatted(const char *format, ...) {
    // Most texts fit at once; a longer one is formatted again at its size.
    std::array<char, 256> first{};
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(first.data(), first.size(), format, args);
    va_end(args);
    if (n < 0)
        return {};
    auto size = static_cast<std::size_t>(n);
    if (size < first.size())
        return std::string(first.data(), size);
    std::string out(size + 1, '\0');
    va_start(args, format);
    std::vsnprintf(out.data(), out.size(), format, args);
    va_end(args);
    out.resize(size);
    return out;
}

std::array<char, 96> quoted(std::string_view text) {
    constexpr std::size_t shown = 20;
    std::array<char, 96> out{};
    std::size_t n = 0;
    out[n++] = '"';
    for (std::size_t i = 0; i < text.size() && i < shown; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out[n++] = '\\';
            out[n++] = static_cast<char>(c);
        } else if (c < 0x20 || c > 0x7E) {
            std::snprintf(out.data() + n, out.size() - n, "\\x%02X", static_cast<unsigned>(c));
            n += 4;
        } else {
            out[n++] = static_cast<char>(c);
        }
    }
    out[n++] = '"';
    if (text.size() > shown)
        for (int i = 0; i < 3; ++i)
            out[n++] = '.';
    return out;
}

} // namespace freqimg
