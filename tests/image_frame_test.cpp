#include "image/image_frame.hpp"
#include "image/image_template.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

namespace freqimg {
namespace {

TEST(hex_value, reads_each_of_the_256_bytes_as_the_c_library_does) {
    for (int c = 0; c < 256; ++c) {
        const char digit[2] = {static_cast<char>(c), '\0'};
        int expected =
            std::isxdigit(c) != 0 ? static_cast<int>(std::strtol(digit, nullptr, 16)) : -1;
        EXPECT_EQ(hex_value(static_cast<char>(c)), expected) << c;
    }
}

TEST(record_checksum, matches_worked_records) {
    for (std::string_view text :
         {"01A010C76425C76425C76425C76425C76425C7F8", "01D010C76425C76425C76425C7642500000000DF",
          "01A01047642547642547642547642547642547F8", "03F010000000000000000049434F4D20496E639B",
          "000010978B7E726560514C47454558635C5C5CDC",
          // lower-case digits count by value
          "02C010c76425c76425c76425c76425c76425c7D7"}) {
        std::string_view data = text.substr(record_data_offset, 32);
        EXPECT_EQ(record_checksum(record_address(text), record_count, data),
                  hex_byte(text[38], text[39]))
            << text;
    }
}

} // namespace
} // namespace freqimg
