#include "support/pty_pair.hpp"

#include "support/wine.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace freqimg_test {

pty_pair::pty_pair() {
    controller = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (controller < 0 || ::grantpt(controller) != 0 || ::unlockpt(controller) != 0)
        throw std::runtime_error("posix_openpt");
    device = path = ::ptsname(controller);
    terminal = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0)
        throw std::runtime_error("cannot open " + device);
    // Wine cannot read a speed only termios2 names.
    write_line_state(terminal, unusual_state(read_line_state(terminal), !under_wine()));
    if (under_wine()) {
        // The port numbers above 9, which only the \\.\COMn form reaches.
        static int next_port = 10;
        const char *prefix = std::getenv("WINEPREFIX");
        path = "COM" + std::to_string(next_port++);
        com_link =
            std::string(prefix != nullptr ? prefix : "") + "/dosdevices/" + "com" + path.substr(3);
        ::unlink(com_link.c_str());
        if (::symlink(device.c_str(), com_link.c_str()) != 0)
            throw std::runtime_error("cannot map " + path + " to " + device);
    }
}

pty_pair::~pty_pair() {
    if (!com_link.empty())
        ::unlink(com_link.c_str());
    ::close(terminal);
    if (controller >= 0)
        ::close(controller);
}

line_state pty_pair::state() const {
    return read_line_state(terminal);
}

bool pty_pair::same_as(const line_state &before) const {
    return under_wine() ? dcb_part(state()) == dcb_part(before) : state() == before;
}

std::string pty_pair::held_fault(unsigned baud) const {
    return raw_8n1_fault(state(), baud, under_wine());
}

bool pty_pair::wait_until_raw() const {
    for (int i = 0; i < 500; ++i) {
        if ((state().lflag & ICANON) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool pty_pair::exclusive() const {
    int on = 0;
    return ::ioctl(terminal, TIOCGEXCL, &on) == 0 && on != 0;
}

std::size_t pty_pair::unread() const {
    int n = 0;
    return ::ioctl(terminal, FIONREAD, &n) == 0 ? static_cast<std::size_t>(n) : 0;
}

std::string pty_pair::lock_name() const {
    std::string name = device.substr(5); // after "/dev/"
    std::replace(name.begin(), name.end(), '/', '_');
    return "LCK.." + name;
}

std::string pty_pair::received(int ms) const {
    std::string got;
    pollfd in{controller, POLLIN, 0};
    char buffer[4096];
    while (::poll(&in, 1, ms) > 0) {
        ssize_t n = ::read(controller, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

void pty_pair::send(const std::string &bytes) const {
    if (::write(controller, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot write to the pseudo-terminal");
}

} // namespace freqimg_test
