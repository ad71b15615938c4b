#include "common/command_line.hpp"

#include <gtest/gtest.h>

#include <string>

namespace freqimg {
namespace {

TEST(parse_seconds, takes_decimal_digits_with_a_fraction_from_a_millisecond_to_a_day) {
    struct row {
        const char *text;
        unsigned ms; // 0: refused
    } const rows[] = {
        // clang-format off
        {"5", 5000}, {"0.5", 500}, {".25", 250}, {"5.", 5000}, {"0.001", 1}, {"0.0015", 2},
        {"0.0014999", 1}, {"007", 7000}, {"86400", 86400000}, {"86400.000", 86400000},
        // Refused: too small or too large, and every other form strtod takes.
        {"0", 0}, {"0.0009", 0}, {"86400.0001", 0}, {"86401", 0}, {"99999999999999999999999", 0},
        {"", 0}, {".", 0}, {"0x10", 0}, {"0x1p3", 0}, {"1e3", 0}, {" 5", 0}, {"5 ", 0}, {"+5", 0},
        {"-1", 0}, {"5.5.5", 0}, {"inf", 0}, {"nan", 0}, {"5,5", 0},
        // clang-format on
    };
    for (const row &r : rows) {
        unsigned ms = 0;
        EXPECT_EQ(parse_seconds(r.text, ms), r.ms != 0) << '"' << r.text << '"';
        EXPECT_EQ(ms, r.ms) << '"' << r.text << '"';
    }
}

} // namespace
} // namespace freqimg
