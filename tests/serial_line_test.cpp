// Borrowing a line on a real pseudo-terminal: each speed the commands accept
// is the speed the kernel sets, and the line goes back as it was.
#include "line_state.hpp"
#include "serial/serial_line.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace freqimg {
namespace {

struct pseudo_terminal {
    int controller = ::posix_openpt(O_RDWR | O_NOCTTY);
    std::string path;
    int terminal = -1;

    pseudo_terminal() {
        if (controller < 0 || ::grantpt(controller) != 0 || ::unlockpt(controller) != 0)
            throw std::runtime_error("posix_openpt");
        path = ::ptsname(controller);
        terminal = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    }
    ~pseudo_terminal() {
        ::close(terminal);
        ::close(controller);
    }
};

TEST(serial_line, sets_each_speed_it_accepts_as_the_kernel_means_it) {
    pseudo_terminal pty;
    const freqimg_test::line_state before = freqimg_test::read_line_state(pty.terminal);
    for (unsigned baud :
         {50U,      75U,      110U,     134U,     150U,     200U,    300U,     600U,
          1200U,    1800U,    2400U,    4800U,    9600U,    19200U,  38400U,   57600U,
          115200U,  230400U,  460800U,  500000U,  576000U,  921600U, 1000000U, 1152000U,
          1500000U, 2000000U, 2500000U, 3000000U, 3500000U, 4000000U}) {
        ASSERT_TRUE(is_line_speed(baud)) << baud;
        line_refusal why;
        auto line = serial_line::borrow(pty.path.c_str(), line_use::send, baud, why);
        ASSERT_TRUE(line) << why.message.c_str();
        freqimg_test::line_state held = freqimg_test::read_line_state(pty.terminal);
        EXPECT_EQ(held.ospeed, baud);
        EXPECT_EQ(held.ispeed, baud);
        line.reset();
        EXPECT_TRUE(freqimg_test::read_line_state(pty.terminal) == before) << baud;
    }
    for (unsigned not_one : {0U, 12345U, 250000U})
        EXPECT_FALSE(is_line_speed(not_one)) << not_one;
}

} // namespace
} // namespace freqimg
