#include "image_template.hpp"

#include <gtest/gtest.h>

#include <string>

namespace freqimg {
namespace {

std::string repeat(std::string_view entry, int times) {
    std::string s;
    for (int i = 0; i < times; ++i)
        s += entry;
    return s;
}

std::string window_texts(std::uint16_t base, std::string_view strip) {
    std::string all;
    for (std::size_t i = 0; i < window_records; ++i) {
        record_text text = window_record(base, strip, i);
        all.append(text.data(), text.size()).append(" ");
    }
    return all;
}

TEST(window_record, forms_worked_windows) {
    const std::string blank = repeat("C76425", 20);
    struct row {
        std::uint16_t base;
        std::string strip;
        std::string texts;
    } const rows[] = {
        {tx_window_base, blank,
         "01A010C76425C76425C76425C76425C76425C7F8 01B0106425C76425C76425C76425C76425C7644B "
         "01C01025C76425C76425C76425C76425C764257A 01D010C76425C76425C76425C7642500000000DF "},
        {rx_window_base, blank,
         "02C010C76425C76425C76425C76425C76425C7D7 02D0106425C76425C76425C76425C76425C7642A "
         "02E01025C76425C76425C76425C76425C7642559 02F010C76425C76425C76425C7642500000000BE "},
        {tx_window_base, "476425" + repeat("C76425", 19),
         "01A010476425C76425C76425C76425C76425C778 01B0106425C76425C76425C76425C76425C7644B "
         "01C01025C76425C76425C76425C76425C764257A 01D010C76425C76425C76425C7642500000000DF "},
        {tx_window_base, repeat("476425", 20),
         "01A01047642547642547642547642547642547F8 01B01064254764254764254764254764254764CB "
         "01C01025476425476425476425476425476425FA 01D01047642547642547642547642500000000DF "},
    };
    for (const row &r : rows)
        EXPECT_EQ(window_texts(r.base, r.strip), r.texts) << r.strip;
}

TEST(window_record, copies_lower_case_digits_and_sums_them_by_value) {
    const std::string lower = repeat("c7642a", 20);
    std::string upper = repeat("C7642A", 20);
    for (std::size_t i = 0; i < window_records; ++i) {
        record_text l = window_record(rx_window_base, lower, i);
        record_text u = window_record(rx_window_base, upper, i);
        std::string_view data(l.data() + record_data_offset, 32);
        EXPECT_EQ(data, lower.substr(32 * i, std::min<std::size_t>(32, 120 - 32 * i)) +
                            std::string(i == 3 ? 8 : 0, '0'));
        EXPECT_EQ(std::string_view(l.data() + 38, 2), std::string_view(u.data() + 38, 2)) << i;
    }
}

TEST(emit_fixed_records, writes_the_template_rows_in_each_range) {
    struct row {
        std::uint16_t first, last;
        std::size_t frames;
    };
    for (row r : {row{0x0000, 0x0190, 26}, row{0x01E0, 0x02B0, 14}, row{0x0300, 0x03F0, 16}}) {
        image_stream stream;
        emit_fixed_records(stream, r.first, r.last);
        ASSERT_EQ(stream.size, r.frames * frame_size) << r.first;
        for (std::size_t k = 0; k < r.frames; ++k) {
            std::string_view text(reinterpret_cast<const char *>(stream.bytes.data()) +
                                      k * frame_size + frame_header.size(),
                                  record_text_size);
            EXPECT_EQ(record_address(text), r.first + 16 * k);
        }
    }
}

} // namespace
} // namespace freqimg
