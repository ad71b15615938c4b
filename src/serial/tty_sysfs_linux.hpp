// What Linux's sysfs says of a terminal device, without opening it: its
// driver, and what that driver sees of the adapter's transmit FIFO. `sys`
// is where sysfs is mounted; a test gives a tree of its own.
#pragma once

#include "serial/line_port.hpp"

#include <string>
#include <vector>

#include <sys/types.h>

namespace freqimg {

// The first line of a sysfs attribute, or an empty text.
std::string sysfs_attribute(const std::string &path);

// The names of the terminals the kernel writes its console to ("ttyS0",
// "tty0"), from `sys`/class/tty/console/active.
std::vector<std::string> active_consoles(const std::string &sys = "/sys");

// Returns true when the terminal device `device` is the system console:
// /dev/console, or a terminal the kernel writes its console to, where
// kernel messages and a login prompt would be mixed into what is sent.
bool is_system_console(dev_t device, const std::string &sys = "/sys");

// The driver of a tty's device, given the tty's "device" folder in sysfs;
// empty when none is found. Since Linux 6.5 a UART's tty hangs from the
// serial core's own "port" and "ctrl" devices; its driver is above them.
std::string tty_driver(const std::string &device_dir);

// What the driver of the terminal device `device` sees of its adapter's
// transmit FIFO: there is none on a pseudo-terminal; the driver waits for
// it where it asks the chip whether its transmitter is empty (every UART
// of the serial core, ftdi_sio, cp210x, ti_usb_3410_5052); any other
// driver, or one sysfs does not name, may leave largest_unseen_fifo bytes
// unseen.
transmit_fifo transmit_fifo_of(dev_t device, const std::string &sys = "/sys");

} // namespace freqimg
