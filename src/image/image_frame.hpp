// Record text, checksum and frame format of the upload stream.
//
// The radio's 1024-byte memory image travels as 64 records of 16 bytes. Each
// record is a 40-character hex text (address, count, data, checksum) wrapped
// in a 46-byte frame with a fixed header and end byte. This file is pure: it
// turns texts into bytes in a caller's buffer and never touches a file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace freqimg {

inline constexpr std::size_t record_text_size = 40;
inline constexpr std::size_t record_data_size = 16; // bytes; twice as many characters
inline constexpr std::uint8_t record_count = 0x10;
inline constexpr std::size_t image_size = 1024;
inline constexpr std::size_t frame_count = image_size / record_data_size;
inline constexpr std::array<unsigned char, 5> frame_header{0xFE, 0xFE, 0xEE, 0xEF, 0xE4};
inline constexpr unsigned char frame_end = 0xFD;
inline constexpr std::size_t frame_size = frame_header.size() + record_text_size + 1;
inline constexpr std::size_t stream_size = frame_count * frame_size;
static_assert(frame_size == 46 && stream_size == 2944);

// Character offsets inside a record text.
inline constexpr std::size_t record_data_offset = 6;
inline constexpr std::size_t record_checksum_offset = 38;

using record_text = std::array<char, record_text_size>;

// The whole stream, filled front to back before any of it is written out.
struct image_stream {
    std::array<unsigned char, stream_size> bytes{};
    std::size_t size = 0;
};

inline constexpr std::string_view upper_hex_digits = "0123456789ABCDEF";

// The value of each byte as a hex digit of either case, -1 for the rest:
// one look-up per character of a stream being decoded.
inline constexpr std::array<signed char, 256> hex_values = [] {
    std::array<signed char, 256> values{};
    values.fill(-1);
    for (std::size_t i = 0; i < 10; ++i)
        values['0' + i] = static_cast<signed char>(i);
    for (std::size_t i = 0; i < 6; ++i) {
        values['A' + i] = static_cast<signed char>(10 + i);
        values['a' + i] = static_cast<signed char>(10 + i);
    }
    return values;
}();

// Returns the value of a hex digit of either case, or -1 for any other byte.
constexpr int hex_value(char c) {
    return hex_values[static_cast<unsigned char>(c)];
}

// Returns true for a hex digit of either case.
constexpr bool is_hex_digit(char c) {
    return hex_value(c) >= 0;
}

// Returns the byte spelled by two hex digits; the caller has checked them.
constexpr std::uint8_t hex_byte(char high, char low) {
    return static_cast<std::uint8_t>(hex_value(high) * 16 + hex_value(low));
}

// Returns the checksum that makes address, count, data bytes and checksum sum
// to zero modulo 256. `data` is hex text, two digits a byte, of either case;
// digits count by value, so "a" and "A" give the same sum.
constexpr std::uint8_t record_checksum(std::uint16_t address, std::uint8_t count,
                                       std::string_view data) {
    unsigned sum = (address >> 8U) + (address & 0xFFU) + count;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        sum += hex_byte(data[i], data[i + 1]);
    return static_cast<std::uint8_t>((256U - (sum & 0xFFU)) & 0xFFU);
}

// Writes `value` as `width` upper-case hex digits into `out`.
constexpr void put_hex(char *out, unsigned value, std::size_t width) {
    for (std::size_t i = width; i-- > 0; value >>= 4U)
        out[i] = upper_hex_digits[value & 0xFU];
}

// Appends one frame (header, the 40 characters of `text`, end byte) to
// `stream`. The caller keeps to 64 frames; the text goes out unchanged.
void write_frame(image_stream &stream, const record_text &text);
void write_frame(image_stream &stream, std::string_view text);

} // namespace freqimg
