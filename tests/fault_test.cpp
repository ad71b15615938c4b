#include "fault.hpp"

#include <gtest/gtest.h>

#include <string>

namespace freqimg {
namespace {

TEST(formatted, gives_texts_of_any_length_whole) {
    // Either side of the first attempt's 256 bytes.
    for (std::size_t size : {0U, 1U, 255U, 256U, 257U, 1000U}) {
        std::string text(size, 'x');
        if (size > 0)
            text.back() = 'y';
        EXPECT_EQ(formatted("%s", text.c_str()), text) << size;
    }
    // A one-letter fault is a fault too.
    EXPECT_TRUE(make_fault("%c", 'x'));
    EXPECT_FALSE(fault{});
}

} // namespace
} // namespace freqimg
