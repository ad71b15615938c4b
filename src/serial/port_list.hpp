// Finding the port a cable is on, without opening any port to look (opening
// can toggle the modem lines of whatever is on the other end).
// port_list_linux.cpp reads Linux's sysfs and /dev, port_list_win32.cpp the
// registry; the text is the same on both.
#pragma once

#include <string>
#include <vector>

namespace freqimg {

struct serial_port {
    std::string name;     // what to give as PORT: a stable by-id link where there is one
    std::string device;   // the device itself: /dev/ttyUSB0, COM5
    std::string driver;   // ftdi_sio, cdc_acm, serial8250; on Windows the port's friendly name
    std::string usb_id;   // vendor:product of a USB adapter, "0403:6001"
    std::string product;  // the adapter's own name, "FT232R USB UART"
    bool console = false; // the kernel writes its console to it
    long holder = 0;      // a live process whose lock file marks the port
};

// Returns the serial ports a cable could be on, in the order of their
// device names (ttyUSB2 before ttyUSB10). Leaves out the 8250 ports that
// Linux always lists whether or not a UART is there.
std::vector<serial_port> list_ports();

// What to look at when no port is found, for this platform.
extern const char *const no_ports_hint;

// One line a port: "NAME  DEVICE  DRIVER  VENDOR:PRODUCT PRODUCT  system
// console  in use (process N)", leaving out what is not known or not so.
std::string port_list_text(const std::vector<serial_port> &ports);

} // namespace freqimg
