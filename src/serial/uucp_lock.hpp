// The lock files by which serial programs of the UUCP tradition (minicom,
// among others) mark a port they hold: "LCK..ttyUSB0" in the lock folder,
// holding the holder's process id. Some mark a port in no other way.
#pragma once

namespace freqimg {

// The folders a lock may be in: /var/lock and /run/lock, one folder on
// most systems.
inline constexpr const char *lock_dirs[] = {"/var/lock", "/run/lock"};

// Returns the process id of a live process whose lock in `lock_dir` names
// the device `device` (a path under /dev, links followed), or 0 when there
// is no such lock. A lock whose process is gone is stale and does not
// count, nor does one of this process.
long lock_holder(const char *lock_dir, const char *device);

} // namespace freqimg
