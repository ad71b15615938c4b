#include "image_frame.hpp"
#include "image_template.hpp"

#include <gtest/gtest.h>

#include <string>

namespace freqimg {
namespace {

// The address, count and data bytes of a record text, checksum included, as
// the radio adds them up: they must come to zero.
unsigned record_byte_sum(std::string_view text) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < text.size(); i += 2)
        sum += hex_byte(text[i], text[i + 1]);
    return sum % 256;
}

TEST(record_checksum, matches_worked_records) {
    for (std::string_view text :
         {"01A010C76425C76425C76425C76425C76425C7F8", "01D010C76425C76425C76425C7642500000000DF",
          "01A01047642547642547642547642547642547F8", "03F010000000000000000049434F4D20496E639B",
          "000010978B7E726560514C47454558635C5C5CDC"}) {
        std::string_view data = text.substr(record_data_offset, 32);
        EXPECT_EQ(record_checksum(record_address(text), record_count, data),
                  hex_byte(text[38], text[39]))
            << text;
        EXPECT_EQ(record_byte_sum(text), 0U) << text;
    }
}

TEST(record_checksum, wraps_when_sum_is_a_multiple_of_256) {
    // 0x01 + 0xF0 + 0x10 + 0xFF = 0x200: the checksum is 0, not 256.
    EXPECT_EQ(record_checksum(0x01F0, record_count, "FF000000000000000000000000000000"), 0);
}

} // namespace
} // namespace freqimg
