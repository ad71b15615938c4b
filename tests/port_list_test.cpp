// The port lister on a sysfs and /dev of the test's own making.
#include "serial/port_list_linux.hpp"
#include "serial/tty_sysfs_linux.hpp"
#include "serial/uucp_lock.hpp"
#include "support/temp_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <csignal>

#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace freqimg {
namespace {

namespace fs = std::filesystem;

struct tree {
    freqimg_test::temp_dir top;
    fs::path root = top.path;
    port_roots roots{(root / "sys").string(), (root / "dev").string(), (root / "lock").string()};

    void file(const fs::path &path, const std::string &text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text << "\n";
    }
    void link(const fs::path &path, const fs::path &target) {
        fs::create_directories(path.parent_path());
        fs::create_directory_symlink(target, path);
    }
    // A tty whose device is `device` (under sys/devices) with `driver`.
    void tty(const std::string &name, const std::string &device, const std::string &driver) {
        fs::path dir = root / "sys/devices" / device;
        fs::create_directories(dir);
        fs::create_directories(root / "sys/bus/drivers" / driver);
        link(dir / "driver", root / "sys/bus/drivers" / driver);
        link(root / "sys/class/tty" / name / "device", dir);
        file(root / "dev" / name, "");
    }
    // The device number `id` ("188:0") of the tty `name`.
    void number(const std::string &name, const std::string &id) {
        link(root / "sys/dev/char" / id, root / "sys/class/tty" / name);
    }
};

TEST(port_list, finds_every_port_a_cable_can_be_on_and_no_other) {
    tree t;
    // A USB adapter with a stable name, and its USB device's ids.
    t.tty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
    t.file(t.root / "sys/devices/usb1/1-1/idVendor", "0403");
    t.file(t.root / "sys/devices/usb1/1-1/idProduct", "6001");
    t.file(t.root / "sys/devices/usb1/1-1/product", "FT232R USB UART");
    // The root hub above it has ids of its own, which are not the adapter's.
    t.file(t.root / "sys/devices/usb1/idVendor", "1d6b");
    t.file(t.root / "sys/devices/usb1/idProduct", "0002");
    t.link(t.root / "dev/serial/by-id/usb-FTDI_FT232R-if00-port0", "../../ttyUSB0");
    // Ports ordered by number, not text. Locks of a live process (init) in
    // text of any width and as a binary int; a lock that names no process.
    t.tty("ttyUSB10", "usb2/2-2/2-2:1.0/ttyUSB10", "pl2303");
    // A gadget's own name reaches the terminal escaped.
    t.file(t.root / "sys/devices/usb2/2-2/idVendor", "067b");
    t.file(t.root / "sys/devices/usb2/2-2/idProduct", "2303");
    t.file(t.root / "sys/devices/usb2/2-2/product", "USB-Serial\x1B]0;owned\a");
    t.tty("ttyUSB2", "usb2/2-4/2-4:1.0/ttyUSB2", "ch341");
    t.tty("ttyACM0", "usb2/2-3/2-3:1.0", "cdc_acm");
    t.tty(".ttyUSB9", "usb3/3-1/3-1:1.0/.ttyUSB9", "ftdi_sio"); // hidden: no port
    t.tty("ttyACM1", "usb2/2-5/2-5:1.0", "cdc_acm");
    t.tty("ttyACM2", "usb2/2-6/2-6:1.0", "cdc_acm");
    fs::create_directories(t.root / "lock");
    std::ofstream(t.root / "lock/LCK..ttyACM0") << "         1\n";
    std::ofstream(t.root / "lock/LCK..ttyACM1") << "  1\n";
    const int init = 1;
    std::ofstream(t.root / "lock/LCK..ttyACM2", std::ios::binary)
        .write(reinterpret_cast<const char *>(&init), sizeof init);
    std::ofstream(t.root / "lock/LCK..ttyUSB2") << "garbage\n";
    // A holder with a process id of many digits, read in decimal.
    pid_t holder = ::fork();
    if (holder == 0) {
        ::pause();
        ::_exit(0);
    }
    std::ofstream(t.root / "lock/LCK..ttyUSB10") << "     " << holder << "\n";
    // A UART behind the serial core's port device, one that is not there,
    // and a virtual console with no device at all.
    t.tty("ttyS1", "pnp0/00:01/00:01:0/00:01:0.0", "port");
    fs::create_directories(t.root / "sys/bus/drivers/serial");
    t.link(t.root / "sys/devices/pnp0/00:01/driver", t.root / "sys/bus/drivers/serial");
    t.file(t.root / "sys/class/tty/ttyS1/type", "4");
    t.file(t.root / "sys/class/tty/console/active", "tty0 ttyS1"); // the kernel's console
    t.tty("ttyS0", "platform/serial8250/tty/ttyS0", "serial8250");
    t.file(t.root / "sys/class/tty/ttyS0/type", "0");
    fs::create_directories(t.root / "sys/class/tty/tty1");

    const std::string dev = t.roots.dev;
    auto line = [&dev](const std::string &name, const std::string &rest) {
        return (name[0] == '/' ? name : dev + "/" + name) + "  " + rest + "\n";
    };
    EXPECT_EQ(port_list_text(list_ports_under(t.roots)),
              line("ttyACM0", dev + "/ttyACM0  cdc_acm  in use (process 1)") +
                  line("ttyACM1", dev + "/ttyACM1  cdc_acm  in use (process 1)") +
                  line("ttyACM2", dev + "/ttyACM2  cdc_acm  in use (process 1)") +
                  line("ttyS1", dev + "/ttyS1  serial  system console") +
                  line(dev + "/serial/by-id/usb-FTDI_FT232R-if00-port0",
                       dev + "/ttyUSB0  ftdi_sio  0403:6001 FT232R USB UART") +
                  line("ttyUSB2", dev + "/ttyUSB2  ch341") +
                  line("ttyUSB10", dev +
                                       "/ttyUSB10  pl2303  067b:2303 'USB-Serial'$'\\033'']0;"
                                       "owned'$'\\a'  in use (process " +
                                       std::to_string(holder) + ")"));
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);

    // A stale lock is no lock; an empty tree has no ports.
    for (const char *lock : {"LCK..ttyACM0", "LCK..ttyACM1", "LCK..ttyACM2"})
        fs::remove(t.root / "lock" / lock);
    EXPECT_EQ(list_ports_under(t.roots).front().holder, 0);
    EXPECT_TRUE(list_ports_under({(t.root / "none").string(), dev, t.roots.lock}).empty());
}

} // namespace
} // namespace freqimg

namespace freqimg {
namespace {

TEST(transmit_fifo, is_waited_for_only_by_drivers_that_ask_the_chip) {
    // The guard after a send rests on this: a driver wrongly taken to wait
    // for its adapter's FIFO would let the last bytes be cut off.
    tree t;
    t.tty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0", "ftdi_sio");
    t.tty("ttyUSB1", "usb1/1-2/1-2:1.0/ttyUSB1", "ch341");
    t.tty("ttyACM0", "usb1/1-3/1-3:1.0", "cdc_acm");
    t.tty("ttyS1", "pnp0/00:01/00:01:0/00:01:0.0", "port");
    t.file(t.root / "sys/class/tty/ttyS1/uartclk", "1843200");
    struct row {
        const char *tty; // empty: sysfs does not know the device
        unsigned major, minor;
        std::size_t unseen;
        bool drained_by_driver;
    } const rows[] = {
        {"ttyUSB0", 188, 0, largest_unseen_fifo, true},
        {"ttyUSB1", 188, 1, largest_unseen_fifo, false},
        {"ttyACM0", 166, 0, largest_unseen_fifo, false},
        {"ttyS1", 4, 65, largest_unseen_fifo, true},
        {"", 188, 9, largest_unseen_fifo, false},
        {"", 136, 3, 0, true}, // a pseudo-terminal: no adapter at all
    };
    for (const row &r : rows) {
        std::string id = std::to_string(r.major) + ":" + std::to_string(r.minor);
        if (*r.tty != '\0')
            t.number(r.tty, id);
        transmit_fifo fifo = transmit_fifo_of(::makedev(r.major, r.minor), t.roots.sys);
        EXPECT_EQ(fifo.unseen, r.unseen) << id;
        EXPECT_EQ(fifo.drained_by_driver, r.drained_by_driver) << id;
    }
}

TEST(system_console, is_dev_console_and_every_terminal_the_kernel_writes_it_to) {
    tree t;
    t.file(t.root / "sys/class/tty/console/active", "tty0 ttyS1");
    t.file(t.root / "sys/class/tty/ttyS1/dev", "4:65");
    t.file(t.root / "sys/class/tty/ttyS0/dev", "4:64");
    EXPECT_TRUE(is_system_console(::makedev(4, 65), t.roots.sys));
    EXPECT_TRUE(is_system_console(::makedev(5, 1), t.roots.sys));
    EXPECT_FALSE(is_system_console(::makedev(4, 64), t.roots.sys));
    EXPECT_FALSE(is_system_console(::makedev(4, 65), (t.root / "none").string()));
    // The first of the kernel's consoles counts as much as the last.
    t.file(t.root / "sys/class/tty/console/active", "ttyS1");
    EXPECT_TRUE(is_system_console(::makedev(4, 65), t.roots.sys));
}

TEST(lock_name, names_a_device_in_dev_and_nothing_else) {
    tree t;
    t.file(t.root / "dev/pts/3", "");
    t.file(t.root / "elsewhere/ttyUSB0", "");
    t.link(t.root / "dev/serial/by-id/usb-x", "../../pts");
    const std::string dev = (t.root / "dev").string();
    struct row {
        fs::path device;
        std::string name;
    } const rows[] = {
        {t.root / "dev/pts/3", "LCK..pts_3"},
        {t.root / "dev/serial/by-id/usb-x/3", "LCK..pts_3"}, // links followed
        {t.root / "elsewhere/ttyUSB0", ""},
        {t.root / "dev/ttyUSB9", ""}, // no such device
    };
    for (const row &r : rows)
        EXPECT_EQ(lock_name(r.device.c_str(), dev.c_str()), r.name) << r.device;
}

} // namespace
} // namespace freqimg
