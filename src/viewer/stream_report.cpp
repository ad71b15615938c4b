#include "stream_report.hpp"

#include "freq_list.hpp"
#include "image_template.hpp"

#include <cstdio>

namespace freqimg {
namespace {

// "476425" reads 476.425 MHz; an entry with a digit above 9 is no frequency
// the radio can hold and is shown as it stands.
std::string shown_entry(std::string_view entry) {
    if (hex_byte(entry[0], entry[1]) == 0xC7 && entry.substr(2) == blank_entry.substr(2))
        return "-";
    for (char c : entry)
        if (c < '0' || c > '9')
            return std::string(entry) + " (not a frequency)";
    return std::string(entry.substr(0, 3)) + "." + std::string(entry.substr(3));
}

// The four zero bytes after a window's twenty entries.
bool is_window_padding(unsigned address) {
    for (unsigned base : {tx_window_base, rx_window_base})
        if (address >= base + strip_size / 2 && address < base + window_records * record_data_size)
            return true;
    return false;
}

// Lines naming each byte that differs from what freqimg writes, record by
// record: template bytes for fixed records, zero for the windows' padding.
std::string differences(const decoded_stream &stream) {
    std::string out;
    for (unsigned address = 0; address < image_size; address += record_data_size) {
        std::string_view fixed = template_record(address);
        std::string line;
        for (std::size_t i = 0; i < record_data_size; ++i) {
            unsigned at = address + static_cast<unsigned>(i);
            bool padding = is_window_padding(at);
            if (fixed.empty() && !padding)
                continue;
            const char *digits = padding ? "00" : fixed.data() + record_data_offset + 2 * i;
            std::uint8_t want = hex_byte(digits[0], digits[1]);
            if (stream.image[at] == want)
                continue;
            char item[32];
            std::snprintf(item, sizeof item, "%s%04X %02X (%s %02X)", line.empty() ? "" : ", ", at,
                          stream.image[at], padding ? "expected" : "template", want);
            line += item;
        }
        if (!line.empty()) {
            char head[16];
            std::snprintf(head, sizeof head, "  %04X: ", address);
            out += head + line + "\n";
        }
    }
    return out;
}

} // namespace

std::string stream_report(const decoded_stream &stream) {
    std::string tx = window_strip_text(stream, tx_window_base);
    std::string rx = window_strip_text(stream, rx_window_base);
    std::string out = "Stream: 2944 bytes, 64 frames, every frame and checksum sound\n\n"
                      "Channel  Transmit MHz              Receive MHz\n";
    for (std::size_t n = 0; n < channel_count; ++n) {
        char line[96];
        std::snprintf(
            line, sizeof line, "%7zu  %-24s  %s\n", n + 1,
            shown_entry(std::string_view(tx).substr(n * freq_entry_size, freq_entry_size)).c_str(),
            shown_entry(std::string_view(rx).substr(n * freq_entry_size, freq_entry_size)).c_str());
        out += line;
    }
    std::string diff = differences(stream);
    out += diff.empty() ? "\nFixed records: all as in the built-in template\n"
                        : "\nBytes that differ from what freqimg writes:\n" + diff;
    return out;
}

std::string freq_list_text(const decoded_stream &stream) {
    std::string tx = window_strip_text(stream, tx_window_base);
    std::string rx = window_strip_text(stream, rx_window_base);
    auto entry = [](const std::string &column, std::size_t n) {
        std::string e = column.substr(n * freq_entry_size, freq_entry_size);
        return e == blank_entry ? std::string("-") : e;
    };
    std::string out = "Channel  Transmit  Receive\n";
    for (std::size_t n = 0; n < channel_count; ++n) {
        char line[64];
        std::snprintf(line, sizeof line, "CH%02zu     %-8s  %s\n", n + 1, entry(tx, n).c_str(),
                      entry(rx, n).c_str());
        out += line;
    }
    return out;
}

bool freqimg_can_remake(const decoded_stream &stream) {
    return differences(stream).empty();
}

} // namespace freqimg
