// What a user who may not open a port is told, from account files of the
// test's own.
#include "serial/permission_hint.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace freqimg {
namespace {

namespace fs = std::filesystem;

TEST(permission_hint, tells_a_member_to_log_in_again_and_anyone_else_how_to_join) {
    // A device of a group this process is not in, readable by the group.
    const fs::path dir = fs::temp_directory_path() / ("hint-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string device = (dir / "ttyUSB0").string(), group = (dir / "group").string(),
                      passwd = (dir / "passwd").string();
    std::ofstream(device).put('\n');
    constexpr gid_t dialout = 4242;
    if (::chown(device.c_str(), ::getuid(), dialout) != 0 || ::chmod(device.c_str(), 0660) != 0) {
        fs::remove_all(dir);
        GTEST_SKIP() << "cannot give a file to another group here";
    }
    const std::string alice = "alice:x:" + std::to_string(::getuid());
    const std::string head = "; " + device + " belongs to group dialout";
    const std::string join = head + ": add yourself with 'sudo usermod -aG dialout alice' and log "
                                    "in again";
    const std::string relog = head + ", and alice's membership takes effect at the next login: "
                                     "log in again, or run 'newgrp dialout'";
    struct row {
        std::string group, passwd, hint;
    } const rows[] = {
        {"dialout:x:4242:bob,carol\n", alice + ":100::/:/bin/sh\n", join},
        {"wheel:x:1:\ndialout:x:4242:bob,alice", alice + ":100::/:/bin/sh\n", relog},
        {"dialout:x:4242:\n", "bob:x:4040404:0::/:/bin/sh\n" + alice + ":4242::/:/bin/sh\n", relog},
        {"dialout:x:4242:alice\n", "",
         head + ": add yourself with 'sudo usermod -aG dialout "
                "$USER' and log in again"},
        {"dialout:x:42420:\n", alice + ":4242::/:/bin/sh\n", ""},
    };
    for (const row &r : rows) {
        std::ofstream(group) << r.group;
        std::ofstream(passwd) << r.passwd;
        EXPECT_EQ(permission_hint(device.c_str(), {group.c_str(), passwd.c_str()}), r.hint)
            << r.group << r.passwd;
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace freqimg
