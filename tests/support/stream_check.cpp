#include "support/stream_check.hpp"

#include "image/image_template.hpp"

#include <cctype>
#include <vector>

namespace freqimg_test {

using namespace freqimg;

std::string check_stream(const image_stream &stream, std::string_view tx, std::string_view rx) {
    if (stream.size != 2944)
        return "stream is " + std::to_string(stream.size) + " bytes";
    const std::string windows[2] = {std::string(tx) + "00000000", std::string(rx) + "00000000"};
    const std::string header = "\xFE\xFE\xEE\xEF\xE4";
    for (unsigned k = 0; k < 64; ++k) {
        std::string frame(reinterpret_cast<const char *>(stream.bytes.data()) + 46 * k, 46);
        std::string text = frame.substr(5, 40);
        std::string where = "frame " + std::to_string(k) + ": ";
        if (frame.substr(0, 5) != header || frame[45] != '\xFD')
            return where + "header or end byte";
        unsigned sum = 0;
        for (std::size_t i = 0; i < 40; i += 2) {
            if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
                !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
                return where + "not hex: " + text;
            sum += static_cast<unsigned>(std::stoul(text.substr(i, 2), nullptr, 16));
        }
        if (sum % 256 != 0)
            return where + "bytes do not sum to zero: " + text;
        if (std::stoul(text.substr(0, 4), nullptr, 16) != 16 * k || text.substr(4, 2) != "10")
            return where + "address or count: " + text;
        std::string_view fixed = template_record(16 * k);
        unsigned window = k >= 26 && k < 30 ? 0 : k >= 44 && k < 48 ? 1 : 2;
        if (window == 2 && text != fixed)
            return where + "differs from the template: " + text;
        unsigned first = window == 0 ? 26 : 44;
        if (window < 2 && text.substr(6, 32) != windows[window].substr(32 * (k - first), 32))
            return where + "window data: " + text;
    }
    return {};
}

bool expected_strips(std::string_view list, std::string &tx, std::string &rx) {
    std::vector<std::string> tokens;
    std::string token;
    for (char c : std::string(list) + " ") {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') {
            if (!token.empty())
                tokens.push_back(token);
            token.clear();
        } else {
            token += c;
        }
    }
    if (tokens.size() < 63)
        return false;
    tx.clear();
    rx.clear();
    for (std::size_t row = 1; row <= 20; ++row) {
        const std::string &t = tokens[3 * row + 1], &r = tokens[3 * row + 2];
        tx += t[0] == '-' ? "C76425" : t;
        rx += r[0] == '-' ? "C76425" : r;
    }
    return true;
}

} // namespace freqimg_test
