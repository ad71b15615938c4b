// The kernel's own terminal structure, which cannot share a translation
// unit with <termios.h>.
#include "support/line_state.hpp"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <stdexcept>

namespace freqimg_test {

line_state read_line_state(int fd) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        throw std::runtime_error("TCGETS2");
    line_state s;
    s.iflag = t.c_iflag;
    s.oflag = t.c_oflag;
    s.cflag = t.c_cflag;
    s.lflag = t.c_lflag;
    std::copy_n(t.c_cc, s.cc.size(), s.cc.begin());
    s.ispeed = t.c_ispeed;
    s.ospeed = t.c_ospeed;
    return s;
}

void write_line_state(int fd, const line_state &s) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        throw std::runtime_error("TCGETS2");
    t.c_iflag = s.iflag;
    t.c_oflag = s.oflag;
    t.c_cflag = s.cflag;
    t.c_lflag = s.lflag;
    std::copy_n(s.cc.begin(), s.cc.size(), t.c_cc);
    t.c_ispeed = s.ispeed;
    t.c_ospeed = s.ospeed;
    if (::ioctl(fd, TCSETS2, &t) != 0)
        throw std::runtime_error("TCSETS2");
}

line_state unusual_state(line_state s, bool exact_speed) {
    s.cflag &= ~static_cast<unsigned>(CSIZE | PARODD | CLOCAL | CBAUD | (CBAUD << IBSHIFT));
    s.cflag |= CS7 | PARENB | CSTOPB | CRTSCTS | (exact_speed ? BOTHER : B300);
    s.ispeed = s.ospeed = exact_speed ? 250000 : 300;
    if (exact_speed) { // input at a speed of its own
        s.cflag |= B1200 << IBSHIFT;
        s.ispeed = 1200;
    }
    s.iflag |= IXON | IXOFF | ICRNL;
    s.oflag |= OPOST | ONLCR;
    s.lflag |= ICANON | ECHO | ISIG | IEXTEN;
    return s;
}

std::string raw_8n1_fault(const line_state &s, unsigned baud, bool dcb_only) {
    struct check {
        bool bad;
        const char *what;
        bool in_dcb = false;
    } const checks[] = {
        {(s.lflag & (ICANON | ECHO | ISIG | IEXTEN)) != 0, "canonical input, echo or signals"},
        {(s.oflag & OPOST) != 0, "output processing"},
        {(s.iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK)) != 0, "input translation"},
        {(s.iflag & (IXON | IXOFF)) != 0, "XON/XOFF flow control", true},
        {(s.cflag & CRTSCTS) != 0, "RTS/CTS flow control", true},
        {(s.cflag & CSIZE) != CS8, "not 8 data bits"},
        {(s.cflag & PARENB) != 0, "parity"},
        {(s.cflag & CSTOPB) != 0, "two stop bits", true},
        {(s.cflag & (CLOCAL | CREAD)) != (CLOCAL | CREAD), "modem lines obeyed or receiver off"},
        {s.ospeed != baud || s.ispeed != baud, "another speed", true},
    };
    std::string faults;
    for (const check &c : checks)
        if (c.bad && (c.in_dcb || !dcb_only))
            faults += std::string(faults.empty() ? "" : ", ") + c.what;
    return faults;
}

line_state dcb_part(const line_state &s) {
    line_state part;
    part.cflag = s.cflag & static_cast<unsigned>(CSTOPB | CRTSCTS);
    part.iflag = s.iflag & static_cast<unsigned>(IXON | IXOFF);
    part.ispeed = s.ispeed;
    part.ospeed = s.ospeed;
    return part;
}

} // namespace freqimg_test
