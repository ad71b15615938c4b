// For the POSIX implementations of the platform layer only: opening a file
// on a descriptor above the standard streams.
#pragma once

#include <sys/types.h>

namespace freqimg {

// Opens `path` as open(2) does, but never on descriptors 0-2. Returns the
// descriptor, or -1 with errno set.
int open_above_standard(const char *path, int flags, mode_t mode = 0);

} // namespace freqimg
