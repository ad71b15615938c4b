#include "channel_files.hpp"

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace freqimg {
namespace {

fault system_fault(const char *path, const char *what) {
    return make_fault("%s: %s: %s", path, what, std::strerror(errno));
}

// Opens `path` for reading without waiting on a FIFO or a device.
int open_for_reading(const char *path) {
    return open_file(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

bool same_file(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What a regular file held where a write is about to go, to put back if the
// write fails.
struct file_before {
    int fd = -1; // a second descriptor, open after the first is closed
    off_t size = 0, offset = 0;
    std::array<char, take_back_limit> bytes{};
    std::size_t saved = 0;
};

bool remember_file(int fd, std::size_t size, file_before &before) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    int flags = ::fcntl(fd, F_GETFL);
    before.size = info.st_size;
    before.offset = (flags & O_APPEND) != 0 ? info.st_size : ::lseek(fd, 0, SEEK_CUR);
    if (before.offset < 0)
        return false;
    if (before.offset < before.size) {
        auto over = std::min(size, static_cast<std::size_t>(before.size - before.offset));
        ssize_t n = ::pread(fd, before.bytes.data(), over, before.offset);
        before.saved = n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    before.fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    return before.fd >= 0;
}

void put_back(const file_before &before) {
    if (before.saved > 0)
        (void)::pwrite(before.fd, before.bytes.data(), before.saved, before.offset);
    (void)::ftruncate(before.fd, before.size);
    (void)::lseek(before.fd, before.offset, SEEK_SET);
}

} // namespace

int open_file(const char *path, int flags, mode_t mode) {
    int fd = ::open(path, flags, mode);
    if (fd < 0 || fd > STDERR_FILENO)
        return fd;
    int moved =
        ::fcntl(fd, (flags & O_CLOEXEC) != 0 ? F_DUPFD_CLOEXEC : F_DUPFD, STDERR_FILENO + 1);
    int error = errno;
    ::close(fd);
    errno = error;
    return moved;
}

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
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A non-blocking output that is full: wait until it takes more.
            // A reader that is gone or an error shows in the next write.
            pollfd out{fd, POLLOUT, 0};
            if (::poll(&out, 1, -1) < 0 && errno != EINTR)
                return errno;
            continue;
        }
        if (n <= 0)
            return n == 0 ? ENOSPC : errno;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int write_whole_and_close(int fd, const void *data, std::size_t size) {
    file_before before;
    bool regular = size <= take_back_limit && remember_file(fd, size, before);
    int error = write_all(fd, data, size);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (regular) {
        if (error != 0)
            put_back(before);
        ::close(before.fd);
    }
    return error;
}

fault read_freq_table(freq_table &table, field_lines &lines) {
    // One byte past the limit tells a token that ends at the limit from one
    // that runs on.
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
    return parse_freq_list(std::string_view(buffer.data(), static_cast<std::size_t>(n)), table,
                           lines);
}

fault check_files_apart() {
    const char *paths[] = {freq_list_path, tx_strip_path, rx_strip_path};
    struct stat info[3]{};
    bool found[3];
    for (int i = 0; i < 3; ++i)
        found[i] = ::stat(paths[i], &info[i]) == 0;
    for (int i = 1; i < 3; ++i)
        for (int j = 0; j < i; ++j)
            if (found[i] && found[j] && same_file(info[i], info[j]))
                return make_fault("%s: same file as %s", paths[i], paths[j]);
    return {};
}

fault write_strip(const char *path, const freq_table &table, std::size_t column) {
    strip text = make_strip(table, column);
    int fd = open_file(path, O_WRONLY | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return system_fault(path, "cannot create");
    constexpr auto size = static_cast<off_t>(strip_size);
    struct stat info {};
    int error = write_all(fd, text.data(), text.size());
    // Only now cut what an older, longer file held past the strip.
    if (error == 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size != size &&
        ::ftruncate(fd, size) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        errno = error;
        return system_fault(path, "write error");
    }
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
