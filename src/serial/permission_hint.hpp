// What to tell a user who may not open a serial port because it belongs to
// a group they are not in (Debian's dialout).
#pragma once

#include <string>

namespace freqimg {

// The account files the groups and the users' names are read from; a test
// gives its own.
struct account_files {
    const char *group = "/etc/group";
    const char *passwd = "/etc/passwd";
};

// For the device at `path`, which this process may not open: when it
// belongs to a group the process is not in, the way in, to follow the
// reason: "; PATH belongs to group dialout: add yourself with 'sudo usermod
// -aG dialout alice' and log in again"; or, for a user the account files
// already list in the group, whose login predates it: "; PATH belongs to
// group dialout, and alice's membership takes effect at the next login: log
// in again, or run 'newgrp dialout'". Otherwise an empty text.
std::string permission_hint(const char *path, const account_files &files = {});

} // namespace freqimg
