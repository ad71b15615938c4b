#include "uucp_lock.hpp"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace freqimg {
namespace {

// Reads the process id a lock holds: ten digits in text, as most programs
// write it, or a binary int, as the oldest ones did.
long lock_pid(const char *path) {
    int fd = ::open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[32]{};
    ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n == static_cast<ssize_t>(sizeof(int)) && (text[0] < ' ' || text[sizeof(int) - 1] < ' ')) {
        int binary = 0;
        std::memcpy(&binary, text, sizeof binary);
        return binary;
    }
    return n > 0 ? std::strtol(text, nullptr, 10) : 0;
}

} // namespace

long lock_holder(const char *lock_dir, const char *device) {
    char real[PATH_MAX];
    if (::realpath(device, real) == nullptr || std::strncmp(real, "/dev/", 5) != 0)
        return 0;
    // /dev/ttyUSB0 is LCK..ttyUSB0; /dev/pts/3 is LCK..pts_3.
    char path[PATH_MAX + 16];
    int n = std::snprintf(path, sizeof path, "%s/LCK..", lock_dir);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof path)
        return 0;
    std::size_t at = static_cast<std::size_t>(n);
    for (const char *c = real + 5; *c != '\0' && at + 1 < sizeof path; ++c)
        path[at++] = *c == '/' ? '_' : *c;
    path[at] = '\0';
    long pid = lock_pid(path);
    if (pid <= 0 || pid > INT_MAX || pid == ::getpid())
        return 0;
    bool alive = ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    return alive ? pid : 0;
}

} // namespace freqimg
