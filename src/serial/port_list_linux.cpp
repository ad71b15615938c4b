// port_list.hpp from Linux's sysfs: each tty with a device behind it, its
// driver, and for a USB adapter the USB device's ids and name; the stable
// names from /dev/serial/by-id; locks from the lock folder.

#include "serial/port_list_linux.hpp"

#include "serial/tty_sysfs_linux.hpp"
#include "serial/uucp_lock.hpp"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace freqimg {
namespace {

std::vector<std::string> entries(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (const dirent *e = ::readdir(d))
            if (e->d_name[0] != '.')
                names.emplace_back(e->d_name);
        ::closedir(d);
    }
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
    char target[PATH_MAX];
    ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

std::string real_path(const std::string &path) {
    char real[PATH_MAX];
    return ::realpath(path.c_str(), real) != nullptr ? real : "";
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
            char *x_end = nullptr, *y_end = nullptr;
            unsigned long m = std::strtoul(x, &x_end, 10), n = std::strtoul(y, &y_end, 10);
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
