#include "image/image_decode.hpp"

#include "common/fault.hpp"
#include "image/image_template.hpp"

#include <algorithm>
#include <cstdio>

namespace freqimg {
namespace {

std::string frame_message(std::size_t frame, const std::string &what) {
    return formatted("frame %zu (address %04zX): %s", frame, frame * record_data_size,
                     what.c_str());
}

// "FE 00 EE": each byte as two upper-case hex digits.
std::string hex_bytes(const unsigned char *bytes, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s.append(i == 0 ? "" : " ")
            .append(1, upper_hex_digits[bytes[i] >> 4U])
            .append(1, upper_hex_digits[bytes[i] & 0xFU]);
    return s;
}

// Checks one whole frame; returns an empty text when it is sound. Sets
// `lower` when its text has a hex letter in lower case.
std::string check_frame(const unsigned char *frame, std::size_t index, decoded_stream &out,
                        bool &lower) {
    if (!std::equal(frame_header.begin(), frame_header.end(), frame))
        return "header is " + hex_bytes(frame, frame_header.size()) + ", not " +
               hex_bytes(frame_header.data(), frame_header.size());
    if (frame[frame_size - 1] != frame_end)
        return "end byte is " + hex_bytes(frame + frame_size - 1, 1) + ", not FD";

    record_text &text = out.texts[index];
    std::copy_n(frame + frame_header.size(), record_text_size, text.begin());
    for (std::size_t i = 0; i < record_text_size; ++i) {
        if (hex_value(text[i]) < 0)
            return "character " + std::to_string(i) + " of the record text is " +
                   hex_bytes(frame + frame_header.size() + i, 1) + ", not a hex digit";
        lower = lower || text[i] >= 'a';
    }

    std::string_view view(text.data(), text.size());
    unsigned expected = static_cast<unsigned>(index * record_data_size);
    if (record_address(view) != expected)
        return formatted("address is %04X, not %04X", record_address(view), expected);
    if (hex_byte(text[4], text[5]) != record_count)
        return "count is " + std::string(view.substr(4, 2)) + ", not 10";
    // All twenty bytes, the checksum with them, sum to zero.
    std::array<std::uint8_t, record_data_size> data{};
    unsigned sum = (expected >> 8U) + (expected & 0xFFU) + record_count;
    for (std::size_t i = 0; i < record_data_size; ++i) {
        data[i] = hex_byte(text[record_data_offset + 2 * i], text[record_data_offset + 2 * i + 1]);
        sum += data[i];
    }
    std::uint8_t stated = hex_byte(text[record_checksum_offset], text[record_checksum_offset + 1]);
    if (((sum + stated) & 0xFFU) != 0)
        return formatted("checksum is %02X, record sums to %02X", stated, (sum + stated) & 0xFFU);
    std::copy(data.begin(), data.end(), out.image.begin() + expected);
    return {};
}

// How many data characters of the record at `address` are a strip's: 32 in
// a window's first three records, 24 in its fourth, none elsewhere.
std::size_t strip_characters(unsigned address) {
    constexpr std::size_t data_chars = 2 * record_data_size;
    for (unsigned base : {tx_window_base, rx_window_base})
        if (address >= base && address < base + window_records * record_data_size) {
            std::size_t before = (address - base) / record_data_size * data_chars;
            return std::min(data_chars, window_strip_size - before);
        }
    return 0;
}

// Fixed records are compared with the template; in a window, the bytes
// after the strip with the zero padding. Digits that are the template's own
// are the same byte; only others need their values compared.
void find_changes(decoded_stream &out) {
    for (unsigned address = 0; address < image_size; address += record_data_size) {
        std::string_view fixed = template_record(address);
        const record_text &text = out.texts[address / record_data_size];
        for (std::size_t i = strip_characters(address) / 2; i < record_data_size; ++i) {
            std::size_t at = record_data_offset + 2 * i;
            const char *digits = fixed.empty() ? "00" : fixed.data() + at;
            if (text[at] == digits[0] && text[at + 1] == digits[1])
                continue;
            std::uint8_t expected = hex_byte(digits[0], digits[1]);
            unsigned byte = address + static_cast<unsigned>(i);
            if (out.image[byte] != expected)
                out.changes.push_back({byte, out.image[byte], expected, fixed.empty()});
        }
    }
}

void find_lower_case(decoded_stream &out, const std::array<bool, frame_count> &has_lower) {
    for (std::size_t frame = 0; frame < frame_count; ++frame) {
        if (!has_lower[frame])
            continue;
        // The strip's characters stand as the list gave them, lower case included.
        std::size_t strip_end =
            record_data_offset + strip_characters(static_cast<unsigned>(frame * record_data_size));
        const record_text &text = out.texts[frame];
        for (std::size_t i = 0; i < record_text_size; ++i) {
            bool lower =
                text[i] >= 'a' && text[i] <= 'f' && (i < record_data_offset || i >= strip_end);
            if (!lower)
                continue;
            if (!out.lower_case.empty() && out.lower_case.back().frame == frame &&
                out.lower_case.back().last + 1 == i)
                out.lower_case.back().last = i;
            else
                out.lower_case.push_back({frame, i, i});
        }
    }
}

// "stream is 2943 bytes, not 2944", and for a short stream where it ends:
// "; it ends 45 bytes into frame 63 (address 03F0)".
std::string length_fault(std::size_t size) {
    std::string what =
        "stream is " + std::to_string(size) + " bytes, not " + std::to_string(stream_size);
    if (size == 0 || size >= stream_size)
        return what;
    std::size_t frame = size / frame_size, into = size % frame_size;
    if (into == 0)
        return what + formatted("; it ends after frame %zu (address %04zX)", frame - 1,
                                (frame - 1) * record_data_size);
    return what + formatted("; it ends %zu %s into frame %zu (address %04zX)", into,
                            into == 1 ? "byte" : "bytes", frame, frame * record_data_size);
}

} // namespace

decoded_stream decode_stream(std::span<const unsigned char> bytes) {
    decoded_stream out;
    if (bytes.size() != stream_size)
        out.faults.push_back(length_fault(bytes.size()));
    std::size_t whole_frames = std::min(bytes.size() / frame_size, frame_count);
    std::array<bool, frame_count> has_lower{};
    for (std::size_t k = 0; k < whole_frames; ++k) {
        std::string what = check_frame(bytes.data() + k * frame_size, k, out, has_lower[k]);
        if (!what.empty())
            out.faults.push_back(frame_message(k, what));
    }
    if (out.faults.empty()) {
        find_changes(out);
        find_lower_case(out, has_lower);
    }
    return out;
}

const char *differs_from_freqimg(const decoded_stream &stream) {
    if (!stream.faults.empty())
        return "the stream is faulty";
    if (!stream.changes.empty())
        return "bytes differ from what freqimg writes";
    if (!stream.lower_case.empty())
        return "hex letters are in lower case where freqimg writes upper case";
    return nullptr;
}

std::string window_strip_text(const decoded_stream &stream, std::uint16_t base) {
    std::string entries;
    for (std::size_t i = 0; i < window_records; ++i)
        entries.append(stream.texts[base / record_data_size + i].data() + record_data_offset,
                       2 * record_data_size);
    entries.resize(window_strip_size);
    return entries;
}

window_entry window_entry_text(const decoded_stream &stream, std::uint16_t base, std::size_t n) {
    constexpr std::size_t data_chars = 2 * record_data_size;
    window_entry entry;
    std::size_t at = n * entry.text.size();
    std::size_t record = base / record_data_size + at / data_chars, offset = at % data_chars;
    std::size_t in_first = std::min(entry.text.size(), data_chars - offset);
    const char *first = stream.texts[record].data() + record_data_offset + offset;
    std::copy_n(first, in_first, entry.text.begin());
    // The rest, if any, begins the next record (a window's records are
    // never the image's last).
    const char *next = stream.texts[record + 1].data() + record_data_offset;
    std::copy_n(next, entry.text.size() - in_first,
                entry.text.begin() + static_cast<std::ptrdiff_t>(in_first));
    return entry;
}

} // namespace freqimg
