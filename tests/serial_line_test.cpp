// Borrowing a line on a real pseudo-terminal: each speed the commands accept
// is the speed the kernel sets, and the line goes back as it was.
#include "serial/serial_line.hpp"
#include "support/pty_pair.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace freqimg {
namespace {

TEST(serial_line, sets_each_speed_it_accepts_as_the_kernel_means_it) {
    freqimg_test::pty_pair pty;
    const freqimg_test::line_state before = pty.state();
    for (unsigned baud :
         {50U,      75U,      110U,     134U,     150U,     200U,    300U,     600U,
          1200U,    1800U,    2400U,    4800U,    9600U,    19200U,  38400U,   57600U,
          115200U,  230400U,  460800U,  500000U,  576000U,  921600U, 1000000U, 1152000U,
          1500000U, 2000000U, 2500000U, 3000000U, 3500000U, 4000000U}) {
        ASSERT_TRUE(is_line_speed(baud)) << baud;
        line_refusal why;
        auto line = serial_line::borrow(pty.path.c_str(), line_use::send, baud, why);
        ASSERT_TRUE(line) << why.message.c_str();
        freqimg_test::line_state held = pty.state();
        EXPECT_EQ(held.ospeed, baud);
        EXPECT_EQ(held.ispeed, baud);
        line.reset();
        EXPECT_TRUE(pty.state() == before) << baud;
    }
    for (unsigned not_one : {0U, 12345U, 250000U})
        EXPECT_FALSE(is_line_speed(not_one)) << not_one;
}

} // namespace
} // namespace freqimg
