// file_ops.hpp with the Windows C runtime's descriptors and the Win32 API
// beneath them. File names are UTF-8: the commands' manifest makes it the
// code page of the narrow API.

#include "platform/file_ops.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace freqimg {
namespace {

HANDLE handle_of(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// The errno of a Win32 failure, for the reasons the commands name.
int errno_of(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
        return EPIPE;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    default:
        return EIO;
    }
}

int fail_with(DWORD error) {
    errno = errno_of(error);
    return -1;
}

bool is_directory(const char *path) {
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Keeps a descriptor off 0-2, which a standard stream that came closed
// leaves free: the C runtime hands out the lowest free descriptor.
int above_standard(int fd) {
    std::vector<int> low;
    while (fd >= 0 && fd <= 2) {
        low.push_back(fd);
        fd = ::_dup(fd);
    }
    int error = errno;
    for (int l : low)
        ::_close(l);
    errno = error;
    return fd;
}

// Gives `fd` the descriptor `opened`. Returns 0, or why it is none.
int take(int opened, unique_fd &fd) {
    int error = opened < 0 ? errno : 0;
    fd = unique_fd(opened);
    return error;
}

int open_file(const char *path, int flags, int mode = _S_IREAD | _S_IWRITE) {
    int fd = ::_open(path, flags | _O_BINARY | _O_NOINHERIT, mode);
    if (fd < 0 && errno == EACCES && is_directory(path))
        errno = EISDIR;
    return above_standard(fd);
}

// The volume and the file index tell two names of one file apart; Windows'
// stat gives no inode.
bool identity(const char *path, BY_HANDLE_FILE_INFORMATION &info) {
    HANDLE h = ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool known = ::GetFileInformationByHandle(h, &info) != 0;
    ::CloseHandle(h);
    return known;
}

bool same_identity(const BY_HANDLE_FILE_INFORMATION &a, const BY_HANDLE_FILE_INFORMATION &b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

} // namespace

void prepare_process() {
    // No dialog box for a drive that is not ready: a failure is reported.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    for (int fd : {standard_input, standard_output, standard_error})
        ::_setmode(fd, _O_BINARY);
}

bool is_open(int fd) {
    HANDLE h = handle_of(fd);
    return h != INVALID_HANDLE_VALUE && h != nullptr &&
           reinterpret_cast<intptr_t>(h) != -2; // no stream behind the descriptor
}

int open_for_reading(const char *path, unique_fd &fd) {
    // A folder opens too, so that it is refused as no regular file, as on
    // POSIX systems.
    if (is_directory(path)) {
        HANDLE h = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return take(fail_with(::GetLastError()), fd);
        return take(above_standard(::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY)),
                    fd);
    }
    return take(open_file(path, _O_RDONLY), fd);
}

int open_to_read_through(const char *path, unique_fd &fd) {
    return open_for_reading(path, fd);
}

int create_for_writing(const char *path, unique_fd &fd) {
    return take(open_file(path, _O_WRONLY | _O_CREAT), fd);
}

int create_new(const char *path, unique_fd &fd) {
    return take(open_file(path, _O_WRONLY | _O_CREAT | _O_EXCL), fd);
}

bool is_regular_file(int fd, std::uint64_t *size) {
    HANDLE h = handle_of(fd);
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(h) != FILE_TYPE_DISK || ::GetFileInformationByHandle(h, &info) == 0 ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return false;
    if (size != nullptr)
        *size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32U) | info.nFileSizeLow;
    return true;
}

const char *const folder_separators = "/\\";

// NTFS, FAT32 and exFAT all take names of 255 UTF-16 code units.
std::size_t longest_name(const char *) {
    return 255;
}

// A UTF-8 character of four bytes is two UTF-16 code units; one of fewer
// bytes, one. Continuation bytes add nothing.
std::size_t name_length(std::string_view name) {
    std::size_t units = 0;
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0U) == 0x80 ? 0 : byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

bool path_exists(const char *path) {
    return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

file_kind path_kind(const char *path) {
    DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return file_kind::missing;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return file_kind::folder;
    return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? file_kind::special : file_kind::regular;
}

bool same_file(const char *a, const char *b) {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return identity(a, first) && identity(b, second) && same_identity(first, second);
}

bool same_file(int fd, const char *path) {
    BY_HANDLE_FILE_INFORMATION open{}, named{};
    return ::GetFileType(handle_of(fd)) == FILE_TYPE_DISK &&
           ::GetFileInformationByHandle(handle_of(fd), &open) != 0 && identity(path, named) &&
           same_identity(open, named);
}

int read_up_to(int fd, void *buffer, std::size_t size, std::size_t &got) {
    auto *bytes = static_cast<char *>(buffer);
    got = 0;
    while (got < size) {
        auto chunk = static_cast<unsigned>(std::min<std::size_t>(size - got, 1U << 30));
        int n = ::_read(fd, bytes + got, chunk);
        if (n == 0)
            break;
        if (n < 0) {
            // A pipe whose writer has gone is the end of the input.
            if (_doserrno == ERROR_BROKEN_PIPE)
                break;
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
        auto chunk = static_cast<unsigned>(std::min<std::size_t>(size - done, 1U << 30));
        int n = ::_write(fd, bytes + done, chunk);
        if (n < 0 && _doserrno != 0)
            return errno_of(
                static_cast<DWORD>(_doserrno)); // the runtime says EINVAL for a closed pipe
        if (n <= 0)
            return n == 0 ? ENOSPC : errno;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int cut_to_size(int fd, std::uint64_t size) {
    return ::_chsize_s(fd, static_cast<long long>(size));
}

int flush_to_disk(int fd) {
    return ::_commit(fd) == 0 ? 0 : errno;
}

int close_file(int fd) {
    return ::_close(fd) == 0 ? 0 : errno;
}

int rename_new(const char *from, const char *to) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails where `to` exists.
    if (::MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != 0)
        return 0;
    return errno_of(::GetLastError());
}

void remove_file(const char *path) {
    ::DeleteFileA(path);
}

bool owner_lacks_access(const char *) {
    return false;
}

bool is_terminal(int fd) {
    // A console or a serial port; the null device is a character device
    // too, and no terminal.
    HANDLE h = handle_of(fd);
    DWORD mode = 0;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return ::GetFileType(h) == FILE_TYPE_CHAR &&
           (::GetConsoleMode(h, &mode) != 0 || ::GetCommState(h, &dcb) != 0);
}

bool is_users_terminal(int fd) {
    DWORD mode = 0;
    return ::GetConsoleMode(handle_of(fd), &mode) != 0;
}

bool file_snapshot::remember(int fd, std::size_t size) {
    std::uint64_t length = 0;
    if (size > snapshot_limit || !is_regular_file(fd, &length))
        return false;
    long long offset = ::_lseeki64(fd, 0, SEEK_CUR);
    if (offset < 0)
        return false;
    size_ = length;
    offset_ = static_cast<std::uint64_t>(offset);
    saved_ = 0;
    fd_ = unique_fd(::_dup(fd)); // shares the file and its position
    if (!fd_)
        return false;
    if (offset_ < length) {
        auto over = static_cast<unsigned>(std::min<std::uint64_t>(size, length - offset_));
        int n = ::_read(fd_.get(), bytes_.data(), over);
        saved_ = n > 0 ? static_cast<std::size_t>(n) : 0;
        ::_lseeki64(fd_.get(), offset, SEEK_SET);
    }
    return true;
}

void file_snapshot::put_back() const {
    auto offset = static_cast<long long>(offset_);
    if (saved_ > 0 && ::_lseeki64(fd_.get(), offset, SEEK_SET) == offset)
        (void)::_write(fd_.get(), bytes_.data(), static_cast<unsigned>(saved_));
    (void)::_chsize_s(fd_.get(), static_cast<long long>(size_));
    (void)::_lseeki64(fd_.get(), offset, SEEK_SET);
}

} // namespace freqimg
