// With plain POSIX calls: std::filesystem would double the size of a
// static command for these few look-ups.
#include "serial/tty_sysfs_linux.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <sys/sysmacros.h>
#include <unistd.h>

namespace freqimg {
namespace {

// Pseudo-terminal slaves: Unix 98 (136-143) and the old BSD ones (3).
bool is_pseudo_terminal(dev_t device) {
    unsigned m = ::major(device);
    return (m >= 136 && m <= 143) || m == 3;
}

// The USB serial drivers with a tx_empty of their own: their drain asks
// the chip whether its transmitter is empty.
constexpr std::array<std::string_view, 3> drivers_that_drain_their_fifo{"ftdi_sio", "cp210x",
                                                                        "ti_usb_3410_5052"};

std::string link_name(const std::string &link) {
    char target[PATH_MAX];
    ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return {};
    std::string_view path(target, static_cast<std::size_t>(n));
    return std::string(path.substr(path.rfind('/') + 1));
}

} // namespace

std::string sysfs_attribute(const std::string &path) {
    std::string value;
    if (std::FILE *f = std::fopen(path.c_str(), "re")) {
        char line[256];
        if (std::fgets(line, sizeof line, f) != nullptr)
            value.assign(line, std::strcspn(line, "\n"));
        std::fclose(f);
    }
    return value;
}

std::vector<std::string> active_consoles(const std::string &sys) {
    std::vector<std::string> names;
    std::string active = sysfs_attribute(sys + "/class/tty/console/active");
    for (std::size_t at = 0; at < active.size();) {
        std::size_t end = std::min(active.find(' ', at), active.size());
        if (end > at)
            names.push_back(active.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

bool is_system_console(dev_t device, const std::string &sys) {
    if (device == ::makedev(5, 1))
        return true;
    const std::string number =
        std::to_string(::major(device)) + ":" + std::to_string(::minor(device));
    for (const std::string &name : active_consoles(sys)) {
        std::string dev = sys;
        dev.append("/class/tty/").append(name).append("/dev");
        if (sysfs_attribute(dev) == number)
            return true;
    }
    return false;
}

std::string tty_driver(const std::string &device_dir) {
    char real[PATH_MAX]{};
    if (::realpath(device_dir.c_str(), real) == nullptr)
        return {};
    for (std::string dir = real; dir.size() > 1; dir.resize(dir.rfind('/'))) {
        std::string driver = link_name(dir + "/driver");
        if (!driver.empty() && driver != "port" && driver != "ctrl")
            return driver;
    }
    return {};
}

transmit_fifo transmit_fifo_of(dev_t device, const std::string &sys) {
    if (is_pseudo_terminal(device))
        return {0, true};
    const std::string tty = sys + "/dev/char/" + std::to_string(::major(device)) + ":" +
                            std::to_string(::minor(device));
    // The serial core's UARTs wait for their transmitter to empty.
    std::string driver = tty_driver(tty + "/device");
    bool drained =
        ::access((tty + "/uartclk").c_str(), F_OK) == 0 ||
        std::find(drivers_that_drain_their_fifo.begin(), drivers_that_drain_their_fifo.end(),
                  driver) != drivers_that_drain_their_fifo.end();
    return {largest_unseen_fifo, drained};
}

} // namespace freqimg
