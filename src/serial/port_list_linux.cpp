// port_list.hpp from Linux's sysfs: each tty with a device behind it, its
// driver, and for a USB adapter the USB device's ids and name; the stable
// names from /dev/serial/by-id; locks from the lock folder.

#include "serial/port_list_linux.hpp"

#include "serial/tty_sysfs_linux.hpp"
#include "serial/uucp_lock.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace freqimg {
namespace {

namespace fs = std::filesystem;

// The names in `dir` but the hidden ones; none where it cannot be read.
std::vector<std::string> entries(const std::string &dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator e(dir, error); !error && e != fs::directory_iterator();
         e.increment(error))
        if (std::string name = e->path().filename().string(); name[0] != '.')
            names.push_back(std::move(name));
    return names;
}

// `dir`/`name`, built in place.
std::string in(const std::string &dir, const char *name) {
    std::string path = dir;
    path += '/';
    path += name;
    return path;
}

std::string base_name(const std::string &path) {
    return path.substr(path.rfind('/') + 1);
}

std::string link_target(const std::string &path) {
    std::error_code error;
    return fs::read_symlink(path, error).string();
}

std::string real_path(const std::string &path) {
    std::error_code error;
    return fs::canonical(path, error).string();
}

// The USB device a tty's device sits under: the first folder up the tree
// that holds idVendor.
void read_usb(const std::string &device_dir, serial_port &port) {
    for (std::string dir = real_path(device_dir); dir.size() > 1; dir.resize(dir.rfind('/'))) {
        std::string vendor = sysfs_attribute(dir + "/idVendor");
        if (vendor.empty())
            continue;
        port.usb_id = vendor + ":" + sysfs_attribute(dir + "/idProduct");
        port.product = sysfs_attribute(dir + "/product");
        return;
    }
}

// ttyUSB2 before ttyUSB10: runs of digits compare by value.
bool in_name_order(const serial_port &a, const serial_port &b) {
    const char *x = a.device.c_str(), *y = b.device.c_str();
    while (*x != '\0' && *y != '\0') {
        if (std::isdigit(static_cast<unsigned char>(*x)) != 0 &&
            std::isdigit(static_cast<unsigned char>(*y)) != 0) {
            unsigned long m = 0, n = 0;
            const char *x_end = std::from_chars(x, x + std::strlen(x), m).ptr;
            const char *y_end = std::from_chars(y, y + std::strlen(y), n).ptr;
            if (m != n)
                return m < n;
            x = x_end;
            y = y_end;
        } else if (*x != *y) {
            return *x < *y;
        } else {
            ++x;
            ++y;
        }
    }
    return *x == '\0' && *y != '\0';
}

} // namespace

const char *const no_ports_hint = "'dmesg' shows what the system saw when it was plugged in";

std::vector<serial_port> list_ports_under(const port_roots &roots) {
    // The stable names, by the device each one names.
    std::map<std::string, std::string> by_id;
    const std::string by_id_dir = roots.dev + "/serial/by-id";
    for (const std::string &link : entries(by_id_dir)) {
        std::string path = in(by_id_dir, link.c_str());
        by_id.emplace(base_name(link_target(path)), path);
    }

    const std::vector<std::string> consoles = active_consoles(roots.sys);
    std::vector<serial_port> ports;
    const std::string class_dir = roots.sys + "/class/tty";
    for (const std::string &tty : entries(class_dir)) {
        std::string tty_dir = in(class_dir, tty.c_str());
        std::string device_dir = in(tty_dir, "device");
        struct stat info {};
        // Virtual consoles and pseudo-terminals have no device behind them;
        // an 8250 port with no UART says its type is unknown (0).
        if (::stat(device_dir.c_str(), &info) != 0 || sysfs_attribute(in(tty_dir, "type")) == "0")
            continue;
        serial_port port;
        port.device = roots.dev + "/" + tty;
        auto link = by_id.find(tty);
        port.name = link != by_id.end() ? link->second : port.device;
        port.driver = tty_driver(device_dir);
        port.console = std::find(consoles.begin(), consoles.end(), tty) != consoles.end();
        read_usb(device_dir, port);
        std::string lock = lock_name(port.device.c_str(), roots.dev.c_str());
        port.holder = lock_holder(roots.lock.c_str(), lock);
        ports.push_back(port);
    }
    std::sort(ports.begin(), ports.end(), in_name_order);
    return ports;
}

std::vector<serial_port> list_ports() {
    return list_ports_under({});
}

} // namespace freqimg
