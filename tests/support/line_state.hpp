// A terminal's settings exactly as the kernel holds them, speeds included
// (a speed set through termios2, 250000 baud, has no name in <termios.h>),
// for tests that check a line is put back as it was.
#pragma once

#include <array>
#include <string>

namespace freqimg_test {

struct line_state {
    unsigned iflag = 0, oflag = 0, cflag = 0, lflag = 0;
    std::array<unsigned char, 19> cc{};
    unsigned ispeed = 0, ospeed = 0;

    bool operator==(const line_state &) const = default;
};

line_state read_line_state(int fd);
void write_line_state(int fd, const line_state &state);

// `from` made as unlike what a send sets as a line can be: 7 data bits,
// even parity, two stop bits, RTS/CTS and XON/XOFF flow control, canonical
// input with echo, modem lines obeyed, and 250000 baud, a speed that only
// termios2 can set, with input at 1200 (or 300 baud both ways, without
// `exact_speed`). A pseudo-terminal
// keeps 8 data bits and no parity whatever it is told.
line_state unusual_state(line_state from, bool exact_speed = true);

// What is wrong with `state` for a send at `baud`: raw (no input
// translation, output processing, echo or signals), 8 data bits, no
// parity, one stop bit, no flow control of either kind, receiver on, modem
// lines ignored. Empty when nothing is. With `dcb_only`, only what a
// Windows program sets (speed, stop bits, flow control) is looked at.
std::string raw_8n1_fault(const line_state &state, unsigned baud, bool dcb_only = false);

// The part of a line's state that a Windows program sets and reads back
// under Wine: the speed, the stop bits and the flow control. Wine sets the
// rest as it likes when it opens a port.
line_state dcb_part(const line_state &state);

} // namespace freqimg_test
