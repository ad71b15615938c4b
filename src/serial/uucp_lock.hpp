// The lock files by which serial programs of the UUCP tradition (minicom,
// among others) mark a port they hold: "LCK..ttyUSB0" in the lock folder,
// holding the holder's process id. Some mark a port in no other way.
#pragma once

#include <string>

namespace freqimg {

// The folders a lock may be in: /var/lock and /run/lock, one folder on
// most systems.
inline constexpr const char *lock_dirs[] = {"/var/lock", "/run/lock"};

// Returns the name of the lock of `device` (a path in `dev_root`, links
// followed): "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3.
// Empty when the device is not in `dev_root`.
std::string lock_name(const char *device, const char *dev_root = "/dev");

// Returns the process id of a live process that holds the lock `name` in
// `lock_dir`, or 0 when there is no such lock. A lock whose process is gone
// is stale and does not count, nor does one of this process.
long lock_holder(const char *lock_dir, const std::string &name);

} // namespace freqimg
