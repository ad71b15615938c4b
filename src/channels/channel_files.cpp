#include "channel_files.hpp"

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace freqimg {
namespace {

fault system_fault(const char *path, const char *what) {
    return make_fault("%s: %s: %s", path, what, std::strerror(errno));
}

// Opens `path` for reading without waiting on a FIFO or a device.
int open_for_reading(const char *path) {
    return ::open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

} // namespace

ssize_t read_up_to(int fd, char *buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, buffer + done, size - done);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

int write_all(int fd, const void *data, std::size_t size) {
    const char *bytes = static_cast<const char *>(data);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0 ? ENOSPC : errno;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

fault read_freq_table(freq_table &table) {
    // One more byte than the limit tells whether the file goes on past it.
    static std::array<char, freq_list_limit + 1> buffer;
    int fd = open_for_reading(freq_list_path);
    if (fd < 0)
        return system_fault(freq_list_path, "cannot open");
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        fault f = system_fault(freq_list_path, "cannot open");
        ::close(fd);
        return f;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return make_fault("%s: not a regular file", freq_list_path);
    }
    ssize_t n = read_up_to(fd, buffer.data(), buffer.size());
    fault f = n < 0 ? system_fault(freq_list_path, "read error") : fault{};
    ::close(fd);
    if (f)
        return f;
    auto size = static_cast<std::size_t>(n);
    bool whole = size <= freq_list_limit;
    return parse_freq_list(std::string_view(buffer.data(), std::min(size, freq_list_limit)), whole,
                           table);
}

fault write_strip(const char *path, const freq_table &table, std::size_t column) {
    strip text = make_strip(table, column);
    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return system_fault(path, "cannot create");
    if (int error = write_all(fd, text.data(), text.size())) {
        ::close(fd);
        errno = error;
        return system_fault(path, "write error");
    }
    if (::close(fd) != 0)
        return system_fault(path, "write error");
    return {};
}

fault read_strip(const char *path, const freq_table &table, std::size_t column, strip &out) {
    // A strip file that grew is caught by reading past its proper size.
    std::array<char, 128> buffer{};
    int fd = open_for_reading(path);
    if (fd < 0)
        return system_fault(path, "cannot open");
    ssize_t n = read_up_to(fd, buffer.data(), buffer.size());
    fault f = n < 0 ? system_fault(path, "read error") : fault{};
    ::close(fd);
    if (f)
        return f;
    f = parse_strip(path, std::string_view(buffer.data(), static_cast<std::size_t>(n)), out);
    if (!f && out != make_strip(table, column))
        f = make_fault("%s: changed since it was written", path);
    return f;
}

} // namespace freqimg
