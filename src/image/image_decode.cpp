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

} // namespace

decoded_stream decode_stream(std::span<const unsigned char> bytes) {
    decoded_stream out;
    if (bytes.size() != stream_size)
        out.faults.push_back("stream is " + std::to_string(bytes.size()) + " bytes, not " +
                             std::to_string(stream_size));
    std::size_t whole_frames = std::min(bytes.size() / frame_size, frame_count);
    for (std::size_t k = 0; k < whole_frames; ++k) {
        std::string what = check_frame(bytes.data() + k * frame_size, k, out);
        if (!what.empty())
            out.faults.push_back(frame_message(k, what.c_str()));
    }
    std::size_t next = whole_frames;
    if (next < frame_count && bytes.size() > next * frame_size) {
        std::string what =
            "cut short after " + std::to_string(bytes.size() - next * frame_size) + " of 46 bytes";
        out.faults.push_back(frame_message(next++, what.c_str()));
    }
    if (next + 1 == frame_count) {
        out.faults.push_back(frame_message(next, "missing"));
    } else if (next < frame_count) {
        char what[80];
        std::snprintf(what, sizeof what, "frames %zu to %zu (addresses %04zX to %04zX): missing",
                      next, frame_count - 1, next * record_data_size,
                      image_size - record_data_size);
        out.faults.push_back(what);
    }
    return out;
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
