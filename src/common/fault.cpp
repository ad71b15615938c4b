#include "common/fault.hpp"

#include <cstdio>
#include <cstring>

namespace freqimg {
namespace {

std::string vformatted(const char *format, va_list args) {
    // Most texts fit at once; a longer one is formatted again at its size.
    std::array<char, 256> first{};
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(first.data(), first.size(), format, args);
    if (n < 0) {
        va_end(again);
        return {};
    }
    auto size = static_cast<std::size_t>(n);
    if (size < first.size()) {
        va_end(again);
        return std::string(first.data(), size);
    }
    std::string out(size + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, again);
    va_end(again);
    out.resize(size);
    return out;
}

// The length of the printable UTF-8 character at the start of `text`, or 0
// for a byte that begins none: a control character of either set, a byte
// of no character, an overlong form, a surrogate, or past U+10FFFF.
std::size_t printable_character(std::string_view text) {
    auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80)
        return lead >= 0x20 && lead < 0x7F ? 1 : 0;
    std::size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (size == 0 || lead > 0xF4 || text.size() < size)
        return 0;
    char32_t c = lead & (0x7FU >> size);
    for (std::size_t i = 1; i < size; ++i) {
        if ((byte(i) & 0xC0U) != 0x80)
            return 0;
        c = (c << 6U) | (byte(i) & 0x3FU);
    }
    constexpr char32_t least[] = {0x80, 0x800, 0x10000}; // for 2, 3 and 4 bytes
    if (c < least[size - 2] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || c < 0xA0)
        return 0;
    return size;
}

// Characters a shell reads as they are anywhere in a word; '#' and '~' only
// after its first character.
bool plain_ascii(char c, bool first) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    if (c == '#' || c == '~')
        return !first;
    return std::string_view("%+,-./:@]_{}").find(c) != std::string_view::npos;
}

// \n, \033: a byte that is no printable character, as bash's $'...'
// writes it.
std::string escaped_byte(unsigned char c) {
    constexpr std::string_view letters = "abtnvfr"; // \a (7) to \r (13)
    if (c >= 7 && c <= 13)
        return formatted("\\%c", letters[c - 7]);
    return formatted("\\%03o", static_cast<unsigned>(c));
}

std::string quote(std::string_view name, bool always) {
    bool plain = !name.empty(), printable = true, single_quote = false, breaks_double = false;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t n = printable_character(name.substr(i));
        char c = name[i];
        plain = plain && n > 0 && (n > 1 || plain_ascii(c, i == 0));
        printable = printable && n > 0;
        single_quote = single_quote || c == '\'';
        breaks_double = breaks_double ||
                        (n == 1 && std::string_view("\"$`\\!").find(c) != std::string_view::npos);
        i += std::max<std::size_t>(n, 1);
    }
    if (plain && !always)
        return std::string(name);
    if (printable && single_quote && !breaks_double) {
        std::string out(1, '"');
        return out.append(name).append(1, '"');
    }
    // Printable runs in '...', a quote in them as '\'', and bytes that are
    // no character in $'...' between them.
    enum { quoted, escaped } in = quoted;
    std::string out(1, '\'');
    for (std::size_t i = 0; i < name.size();) {
        std::size_t n = printable_character(name.substr(i));
        if (n == 0) {
            if (in == quoted)
                out += "'$'";
            out += escaped_byte(static_cast<unsigned char>(name[i++]));
            in = escaped;
            continue;
        }
        if (in == escaped)
            out += "''";
        in = quoted;
        if (name[i] == '\'')
            out += "'\\''";
        else
            out.append(name.substr(i, n));
        i += n;
    }
    return out + "'";
}

} // namespace

std::string warning::line() const {
    std::string out = about;
    if (!out.empty())
        out += ": ";
    return out.append("warning: ").append(text);
}

fault make_fault(const char *format, ...) {
    va_list args;
    va_start(args, format);
    fault f{vformatted(format, args)};
    va_end(args);
    return f;
}

fault system_fault(std::string_view name, const char *what, int error) {
    return make_fault("%.*s: %s: %s", static_cast<int>(name.size()), name.data(), what,
                      std::strerror(error));
}

std::string formatted(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = vformatted(format, args);
    va_end(args);
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

std::string quoted_name(std::string_view name) {
    return quote(name, false);
}

std::string quoted_value(std::string_view value) {
    return quote(value, true);
}

std::string quoted_text(std::string_view text) {
    for (std::size_t i = 0, n; i < text.size(); i += n)
        if ((n = printable_character(text.substr(i))) == 0)
            return quote(text, true);
    return std::string(text);
}

} // namespace freqimg
