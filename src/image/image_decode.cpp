#include "image_decode.hpp"

#include "image_template.hpp"

#include <algorithm>
#include <cstdio>

namespace freqimg {
namespace {

std::string frame_message(std::size_t frame, const char *what) {
    char text[160];
    std::snprintf(text, sizeof text, "frame %zu (address %04zX): %s", frame,
                  frame * record_data_size, what);
    return text;
}

std::string hex_bytes(const unsigned char *bytes, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        char b[4];
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}

// Checks one whole frame; returns an empty text when it is sound.
std::string check_frame(const unsigned char *frame, std::size_t index, decoded_stream &out) {
    if (!std::equal(frame_header.begin(), frame_header.end(), frame))
        return "header is " + hex_bytes(frame, frame_header.size()) + ", not " +
               hex_bytes(frame_header.data(), frame_header.size());
    if (frame[frame_size - 1] != frame_end)
        return "end byte is " + hex_bytes(frame + frame_size - 1, 1) + ", not FD";

    record_text &text = out.texts[index];
    std::copy_n(frame + frame_header.size(), record_text_size, text.begin());
    for (std::size_t i = 0; i < record_text_size; ++i)
        if (hex_value(text[i]) < 0)
            return "character " + std::to_string(i) + " of the record text is " +
                   hex_bytes(frame + frame_header.size() + i, 1) + ", not a hex digit";

    std::string_view view(text.data(), text.size());
    char what[80];
    unsigned expected = static_cast<unsigned>(index * record_data_size);
    if (record_address(view) != expected) {
        std::snprintf(what, sizeof what, "address is %04X, not %04X", record_address(view),
                      expected);
        return what;
    }
    if (hex_byte(text[4], text[5]) != record_count)
        return "count is " + std::string(view.substr(4, 2)) + ", not 10";
    std::uint8_t stated = hex_byte(text[record_checksum_offset], text[record_checksum_offset + 1]);
    std::uint8_t due = record_checksum(record_address(view), record_count,
                                       view.substr(record_data_offset, 2 * record_data_size));
    if (stated != due) {
        // What all twenty bytes add up to; zero for a sound record.
        std::snprintf(what, sizeof what, "checksum is %02X, record sums to %02X", stated,
                      (stated - due) & 0xFFU);
        return what;
    }
    for (std::size_t i = 0; i < record_data_size; ++i)
        out.image[expected + i] =
            hex_byte(text[record_data_offset + 2 * i], text[record_data_offset + 2 * i + 1]);
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
// after the strip with the zero padding.
void find_changes(decoded_stream &out) {
    for (unsigned address = 0; address < image_size; address += record_data_size) {
        std::string_view fixed = template_record(address);
        for (std::size_t i = strip_characters(address) / 2; i < record_data_size; ++i) {
            const char *digits = fixed.empty() ? "00" : fixed.data() + record_data_offset + 2 * i;
            std::uint8_t expected = hex_byte(digits[0], digits[1]);
            unsigned at = address + static_cast<unsigned>(i);
            if (out.image[at] != expected)
                out.changes.push_back({at, out.image[at], expected, fixed.empty()});
        }
    }
}

void find_lower_case(decoded_stream &out) {
    for (std::size_t frame = 0; frame < frame_count; ++frame) {
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
    char where[80];
    std::size_t frame = size / frame_size, into = size % frame_size;
    if (into == 0)
        std::snprintf(where, sizeof where, "; it ends after frame %zu (address %04zX)", frame - 1,
                      (frame - 1) * record_data_size);
    else
        std::snprintf(where, sizeof where, "; it ends %zu %s into frame %zu (address %04zX)", into,
                      into == 1 ? "byte" : "bytes", frame, frame * record_data_size);
    return what + where;
}

} // namespace

decoded_stream decode_stream(std::span<const unsigned char> bytes) {
    decoded_stream out;
    if (bytes.size() != stream_size)
        out.faults.push_back(length_fault(bytes.size()));
    std::size_t whole_frames = std::min(bytes.size() / frame_size, frame_count);
    for (std::size_t k = 0; k < whole_frames; ++k) {
        std::string what = check_frame(bytes.data() + k * frame_size, k, out);
        if (!what.empty())
            out.faults.push_back(frame_message(k, what.c_str()));
    }
    if (out.faults.empty()) {
        find_changes(out);
        find_lower_case(out);
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
    std::string strip;
    for (std::size_t i = 0; i < window_records; ++i)
        strip.append(stream.texts[base / record_data_size + i].data() + record_data_offset,
                     2 * record_data_size);
    strip.resize(window_strip_size);
    return strip;
}

} // namespace freqimg
