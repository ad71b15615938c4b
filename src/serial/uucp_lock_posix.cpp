#include "serial/uucp_lock.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace freqimg {
namespace {

// Reads the process id a lock holds: in text ("      4242\n", "4242\n"), as
// most programs write it, or as a binary int of four bytes that are not
// all text, as the oldest ones did.
long lock_pid(const std::string &path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 0;
    std::array<char, 32> text{};
    ssize_t n = ::read(fd, text.data(), text.size() - 1);
    ::close(fd);
    auto in_text = [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0 || c == ' ' || c == '\n';
    };
    if (n == static_cast<ssize_t>(sizeof(int)) &&
        !std::all_of(text.begin(), text.begin() + sizeof(int), in_text)) {
        int binary = 0;
        std::memcpy(&binary, text.data(), sizeof binary);
        return binary;
    }
    // Text: decimal digits, after the blanks that pad them.
    const char *digits = text.data() + std::strspn(text.data(), " ");
    long pid = 0;
    std::from_chars(digits, text.data() + std::max<ssize_t>(n, 0), pid);
    return pid;
}

} // namespace

// With POSIX calls rather than std::filesystem: every borrowing of a line
// looks here, and the library's file system support would double the
// size of the statically linked commands.
std::string lock_name(const char *device, const char *dev_root) {
    char real[PATH_MAX], root[PATH_MAX];
    if (::realpath(device, real) == nullptr || ::realpath(dev_root, root) == nullptr)
        return {};
    std::size_t n = std::strlen(root);
    if (std::strncmp(real, root, n) != 0 || real[n] != '/')
        return {};
    std::string name = std::string("LCK..") + (real + n + 1);
    for (char &c : name)
        c = c == '/' ? '_' : c;
    return name;
}

long lock_holder(const char *lock_dir, const std::string &name) {
    if (name.empty())
        return 0;
    long pid = lock_pid(std::string(lock_dir) + "/" + name);
    if (pid <= 0 || pid > INT_MAX || pid == ::getpid())
        return 0;
    bool alive = ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    return alive ? pid : 0;
}

} // namespace freqimg
