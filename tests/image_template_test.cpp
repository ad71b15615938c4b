#include "image/image_template.hpp"

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

TEST(template_record, holds_the_fixed_records_and_nothing_else) {
    EXPECT_EQ(template_record(0).substr(0, 6), "000010");
    EXPECT_EQ(template_record(0x3F0).substr(0, 6), "03F010");
    EXPECT_EQ(template_record(tx_window_base + 0x40).substr(0, 6), "01E010");
    // Past the image, between records and in a window there is none.
    for (unsigned address : {0x400U, 0x3F8U, unsigned{tx_window_base}, rx_window_base + 0x30U})
        EXPECT_TRUE(template_record(address).empty()) << address;
}

} // namespace
} // namespace freqimg
