#include "image/image_template.hpp"

#include <algorithm>

namespace freqimg {

void emit_fixed_records(image_stream &stream, std::uint16_t first, std::uint16_t last) {
    for (std::string_view row : image_template) {
        std::uint16_t address = record_address(row);
        if (address >= first && address <= last)
            write_frame(stream, row);
    }
}

std::string_view template_record(unsigned address) {
    if (address % record_data_size != 0 || address >= image_size || is_window_address(address))
        return {};
    // The rows stand in address order with the windows left out, as the
    // table's proof at compile time makes sure.
    std::size_t row = address / record_data_size;
    for (unsigned base : {tx_window_base, rx_window_base})
        if (address > base)
            row -= window_records;
    return image_template[row];
}

record_text window_record(std::uint16_t base, std::string_view entries, std::size_t index) {
    constexpr std::size_t data_chars = 2 * record_data_size;
    auto address = static_cast<std::uint16_t>(base + index * record_data_size);
    record_text text;
    text.fill('0'); // the fourth record's tail beyond the strip stays "0"
    put_hex(text.data(), address, 4);
    put_hex(text.data() + 4, record_count, 2);
    std::size_t first = index * data_chars;
    std::copy_n(entries.data() + first, std::min(data_chars, entries.size() - first),
                text.begin() + record_data_offset);
    std::string_view data(text.data() + record_data_offset, data_chars);
    put_hex(text.data() + record_checksum_offset, record_checksum(address, record_count, data), 2);
    return text;
}

void emit_window(image_stream &stream, std::uint16_t base, std::string_view entries) {
    for (std::size_t i = 0; i < window_records; ++i)
        write_frame(stream, window_record(base, entries, i));
}

image_stream compose_stream(std::string_view tx_strip, std::string_view rx_strip) {
    constexpr auto window_end = static_cast<std::uint16_t>(window_records * record_data_size);
    constexpr auto last_record = static_cast<std::uint16_t>(image_size - record_data_size);
    image_stream stream;
    emit_fixed_records(stream, 0x0000, tx_window_base - record_data_size);
    emit_window(stream, tx_window_base, tx_strip);
    emit_fixed_records(stream, tx_window_base + window_end, rx_window_base - record_data_size);
    emit_window(stream, rx_window_base, rx_strip);
    emit_fixed_records(stream, rx_window_base + window_end, last_record);
    return stream;
}

} // namespace freqimg
