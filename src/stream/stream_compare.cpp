#include "stream/stream_compare.hpp"

#include "channels/freq_list.hpp"
#include "common/fault.hpp"
#include "image/image_template.hpp"
#include "stream/stream_report.hpp"

#include <algorithm>
#include <utility>

namespace freqimg {
namespace {

constexpr std::size_t entry_bytes = window_entry_size / 2;
constexpr std::pair<unsigned, const char *> windows[] = {{tx_window_base, "transmit"},
                                                         {rx_window_base, "receive"}};

// An entry's bytes as words: "476.525 MHz", "blank", "47642A (not a
// frequency)".
std::string entry_words(const std::uint8_t *bytes) {
    std::string entry(window_entry_size, '0');
    for (std::size_t i = 0; i < entry_bytes; ++i)
        put_hex(entry.data() + 2 * i, bytes[i], 2);
    if (is_blank_entry(entry))
        return "blank";
    return holds_frequency(entry) ? shown_entry(entry) + " MHz" : shown_entry(entry);
}

std::string data_hex(const decoded_stream &stream, unsigned record) {
    std::string hex(2 * record_data_size, '0');
    for (std::size_t i = 0; i < record_data_size; ++i)
        put_hex(hex.data() + 2 * i, stream.image[record + i], 2);
    return hex;
}

// Whether image byte `address` belongs to one of a window's twenty entries.
bool in_entries(unsigned address) {
    return std::any_of(std::begin(windows), std::end(windows), [address](const auto &w) {
        return address >= w.first && address < w.first + channel_count * entry_bytes;
    });
}

bool same_bytes(const decoded_stream &a, const decoded_stream &b, unsigned from, std::size_t n) {
    return std::equal(&a.image[from], &a.image[from] + n, &b.image[from]);
}

} // namespace

comparison compare_streams(const decoded_stream &expected, const decoded_stream &found,
                           std::string_view expected_name, std::string_view found_name) {
    const std::string ours(expected_name), theirs(found_name);
    std::vector<std::pair<unsigned, std::string>> differences; // by image address
    for (const auto &[base, column] : windows)
        for (std::size_t n = 0; n < channel_count; ++n) {
            unsigned at = base + static_cast<unsigned>(n * entry_bytes);
            if (!same_bytes(found, expected, at, entry_bytes))
                differences.emplace_back(
                    at, formatted("channel %zu %s: %s has %s, %s %s", n + 1, column, theirs.c_str(),
                                  entry_words(&found.image[at]).c_str(), ours.c_str(),
                                  entry_words(&expected.image[at]).c_str()));
        }
    for (unsigned record = 0; record < image_size; record += record_data_size)
        for (unsigned a = record; a < record + record_data_size; ++a)
            if (!in_entries(a) && found.image[a] != expected.image[a]) {
                differences.emplace_back(
                    record, formatted("record %04X: %s has %s, %s %s", record, theirs.c_str(),
                                      data_hex(found, record).c_str(), ours.c_str(),
                                      data_hex(expected, record).c_str()));
                break;
            }
    std::stable_sort(differences.begin(), differences.end(),
                     [](const auto &x, const auto &y) { return x.first < y.first; });
    comparison out;
    for (auto &d : differences)
        out.lines.push_back(std::move(d.second));
    out.same = out.lines.empty();
    if (out.same) {
        std::size_t blank = 0;
        for (std::size_t n = 0; n < channel_count; ++n) {
            auto words = [&](unsigned base) {
                return entry_words(&found.image[base + n * entry_bytes]);
            };
            blank += words(tx_window_base) == "blank" && words(rx_window_base) == "blank";
        }
        out.lines.push_back(formatted("%s holds what %s says: %zu channels in use, %zu blank",
                                      theirs.c_str(), ours.c_str(), channel_count - blank, blank));
    }
    return out;
}

} // namespace freqimg
