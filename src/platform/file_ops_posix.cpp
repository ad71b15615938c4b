// file_ops.hpp with POSIX calls.

#include "platform/file_ops.hpp"
#include "platform/posix_descriptors.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace freqimg {

int open_above_standard(const char *path, int flags, mode_t mode) {
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

void prepare_process() {
    ::signal(SIGXFSZ, SIG_IGN);
}

bool is_open(int fd) {
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

namespace {

// Gives `fd` the descriptor `opened`. Returns 0, or why it is none.
int take(int opened, unique_fd &fd) {
    int error = opened < 0 ? errno : 0;
    fd = unique_fd(opened);
    return error;
}

} // namespace

int open_for_reading(const char *path, unique_fd &fd) {
    return take(open_above_standard(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC), fd);
}

int open_to_read_through(const char *path, unique_fd &fd) {
    return take(open_above_standard(path, O_RDONLY | O_NOCTTY | O_CLOEXEC), fd);
}

namespace {

// A umask without the owner's read or write bit would leave a file the
// program cannot read back, and that no later run can write.
int with_owner_access(int fd) {
    struct stat info {};
    constexpr mode_t owner = S_IRUSR | S_IWUSR;
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        (info.st_mode & owner) != owner && info.st_uid == ::geteuid())
        ::fchmod(fd, (info.st_mode & 07777) | owner);
    return fd;
}

} // namespace

int create_for_writing(const char *path, unique_fd &fd) {
    return take(with_owner_access(open_above_standard(
                    path, O_WRONLY | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666)),
                fd);
}

int create_new(const char *path, unique_fd &fd) {
    return take(with_owner_access(open_above_standard(
                    path, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666)),
                fd);
}

bool is_regular_file(int fd, std::uint64_t *size) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    if (size != nullptr)
        *size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

const char *const folder_separators = "/";

std::size_t longest_name(const char *folder) {
    long most = ::pathconf(folder, _PC_NAME_MAX);
    return most > 0 ? static_cast<std::size_t>(most) : NAME_MAX;
}

std::size_t name_length(std::string_view name) {
    return name.size();
}

bool owner_lacks_access(const char *path) {
    struct stat info {};
    constexpr mode_t owner = S_IRUSR | S_IWUSR;
    return ::stat(path, &info) == 0 && info.st_uid == ::geteuid() &&
           (info.st_mode & owner) != owner;
}

bool path_exists(const char *path) {
    struct stat info {};
    return ::lstat(path, &info) == 0;
}

file_kind path_kind(const char *path) {
    struct stat info {};
    if (::stat(path, &info) != 0)
        return file_kind::missing;
    return S_ISREG(info.st_mode)   ? file_kind::regular
           : S_ISDIR(info.st_mode) ? file_kind::folder
                                   : file_kind::special;
}

bool same_file(const char *a, const char *b) {
    struct stat first {
    }, second{};
    return ::stat(a, &first) == 0 && ::stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

bool same_file(int fd, const char *path) {
    struct stat open {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::stat(path, &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

int read_up_to(int fd, void *buffer, std::size_t size, std::size_t &got) {
    auto *bytes = static_cast<char *>(buffer);
    got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, bytes + got, size - got);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        got += static_cast<std::size_t>(n);
    }
    return 0;
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

int cut_to_size(int fd, std::uint64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

int flush_to_disk(int fd) {
    return ::fsync(fd) == 0 ? 0 : errno;
}

int close_file(int fd) {
    return ::close(fd) == 0 ? 0 : errno;
}

int rename_new(const char *from, const char *to) {
    // A hard link is made only where no file has the name: nothing is ever
    // replaced. File systems without links (FAT) have a rename that says
    // the same, where the kernel has one.
    int error = ::link(from, to) == 0 ? 0 : errno;
#ifdef RENAME_NOREPLACE
    if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS)
        error = ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0 ? 0 : errno;
#endif
    if (error == 0)
        ::unlink(from);
    return error;
}

void remove_file(const char *path) {
    ::unlink(path);
}

bool is_terminal(int fd) {
    return ::isatty(fd) != 0;
}

bool is_users_terminal(int fd) {
    return ::isatty(fd) != 0 && ::tcgetsid(fd) == ::getsid(0);
}

bool file_snapshot::remember(int fd, std::size_t size) {
    struct stat info {};
    if (size > snapshot_limit || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    int flags = ::fcntl(fd, F_GETFL);
    off_t offset = (flags & O_APPEND) != 0 ? info.st_size : ::lseek(fd, 0, SEEK_CUR);
    if (offset < 0)
        return false;
    size_ = static_cast<std::uint64_t>(info.st_size);
    offset_ = static_cast<std::uint64_t>(offset);
    saved_ = 0;
    if (offset < info.st_size) {
        auto over = std::min(size, static_cast<std::size_t>(info.st_size - offset));
        ssize_t n = ::pread(fd, bytes_.data(), over, offset);
        saved_ = n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    fd_ = unique_fd(::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
    return static_cast<bool>(fd_);
}

void file_snapshot::put_back() const {
    auto offset = static_cast<off_t>(offset_);
    if (saved_ > 0)
        (void)::pwrite(fd_.get(), bytes_.data(), saved_, offset);
    (void)::ftruncate(fd_.get(), static_cast<off_t>(size_));
    (void)::lseek(fd_.get(), offset, SEEK_SET);
}

} // namespace freqimg
