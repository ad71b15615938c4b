#include "stream/stream_report.hpp"

#include "channels/freq_list.hpp"
#include "common/fault.hpp"
#include "image/image_template.hpp"

#include <cstdio>

namespace freqimg {
namespace {

// Starts the line of `record` or goes on with it: items of one record share
// a line.
void begin_item(std::string &out, bool new_record, unsigned record) {
    if (!new_record) {
        out += ", ";
        return;
    }
    out += formatted("%s  %04X: ", out.empty() ? "" : "\n", record);
}

// Each byte that differs from what freqimg writes: the template's byte in a
// fixed record, zero in a window's padding.
std::string changed_bytes(const decoded_stream &stream) {
    std::string out;
    unsigned record = image_size;
    for (const byte_change &c : stream.changes) {
        begin_item(out, (c.address & ~0xFU) != record, c.address & ~0xFU);
        record = c.address & ~0xFU;
        out += formatted("%04X %02X (%s %02X)", c.address, c.found,
                         c.padding ? "expected" : "template", c.expected);
    }
    return out.empty() ? out : out + "\n";
}

// Each run of lower-case hex letters where freqimg writes upper case.
std::string lower_case_letters(const decoded_stream &stream) {
    std::string out;
    std::size_t frame = frame_count;
    for (const lower_case_run &run : stream.lower_case) {
        auto record = static_cast<unsigned>(run.frame * record_data_size);
        begin_item(out, run.frame != frame, record);
        frame = run.frame;
        const record_text &text = stream.texts[run.frame];
        out.append(1, '"').append(text.data() + run.first, run.last - run.first + 1);
        out.append("\" at character ").append(std::to_string(run.first));
    }
    return out.empty() ? out : out + "\n";
}

struct odd_entry {
    std::size_t channel;
    const char *column;
    std::string entry;
};

// The window entries that are no frequency the radio can hold, in channel order.
std::vector<odd_entry> odd_entries(const decoded_stream &stream) {
    std::vector<odd_entry> odd;
    for (std::size_t n = 0; n < channel_count; ++n)
        for (auto [base, column] :
             {std::pair{tx_window_base, "transmit"}, std::pair{rx_window_base, "receive"}}) {
            const window_entry entry = window_entry_text(stream, base, n);
            if (!is_blank_entry(entry.view()) && !holds_frequency(entry.view()))
                odd.push_back({n + 1, column, std::string(entry.view())});
        }
    return odd;
}

} // namespace

std::string shown_entry(std::string_view entry) {
    if (is_blank_entry(entry))
        return "-";
    if (!holds_frequency(entry))
        return std::string(entry) + " (not a frequency)";
    return std::string(entry.substr(0, 3)) + "." + std::string(entry.substr(3));
}

std::string stream_report(const decoded_stream &stream) {
    std::string out = "Stream: 2944 bytes, 64 frames, every frame and checksum sound";
    if (std::size_t odd = odd_entries(stream).size(); odd > 0)
        out += odd == 1 ? "; 1 entry is not a frequency"
                        : "; " + std::to_string(odd) + " entries are not frequencies";
    out += "\n\nChannel  Transmit MHz              Receive MHz\n";
    for (std::size_t n = 0; n < channel_count; ++n) {
        out += formatted("%7zu  %-24s  %s\n", n + 1,
                         shown_entry(window_entry_text(stream, tx_window_base, n).view()).c_str(),
                         shown_entry(window_entry_text(stream, rx_window_base, n).view()).c_str());
    }
    if (differs_from_freqimg(stream) == nullptr)
        return out + "\nFixed records: all as in the built-in template\n";
    if (std::string changed = changed_bytes(stream); !changed.empty())
        out += "\nBytes that differ from what freqimg writes:\n" + changed;
    if (std::string lower = lower_case_letters(stream); !lower.empty())
        out += "\nHex letters in lower case where freqimg writes upper case:\n" + lower;
    return out;
}

std::vector<warning> entry_warnings(const decoded_stream &stream, const std::string &name) {
    std::vector<warning> warnings;
    for (const odd_entry &e : odd_entries(stream))
        warnings.push_back({name, formatted("channel %zu %s entry \"%s\" is not a frequency",
                                            e.channel, e.column, e.entry.c_str())});
    return warnings;
}

warning freq_list_warning(const decoded_stream &stream, const std::string &name) {
    const char *how = differs_from_freqimg(stream);
    if (how == nullptr)
        return {};
    return {name, formatted("%s; freqimg makes another stream from this list", how)};
}

std::string freq_list_text(const decoded_stream &stream) {
    auto entry = [&stream](std::uint16_t base, std::size_t n) {
        std::string e(window_entry_text(stream, base, n).view());
        return e == blank_entry ? std::string("-") : e;
    };
    std::string out = "Channel  Transmit  Receive\n";
    for (std::size_t n = 0; n < channel_count; ++n) {
        out += formatted("CH%02zu     %-8s  %s\n", n + 1, entry(tx_window_base, n).c_str(),
                         entry(rx_window_base, n).c_str());
    }
    return out;
}

} // namespace freqimg
