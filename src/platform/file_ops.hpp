// The file operations the commands need, named by what they mean.
// file_ops_posix.cpp implements them with POSIX calls, file_ops_win32.cpp
// with the Windows C runtime and API; CMake builds one. A descriptor is the
// C runtime's int on both, owned by a unique_fd. A call that can fail
// returns 0 or the system's error number for the reason (error_text words
// it); a question is answered true or false.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

namespace freqimg {

inline constexpr int standard_input = 0;
inline constexpr int standard_output = 1;
inline constexpr int standard_error = 2;

// What every command does first: the standard streams pass every byte
// unchanged (binary mode), and a file size limit makes a write fail ("File
// too large") instead of ending the process half way.
void prepare_process();

// The text of an error number ("No such file or directory").
const char *error_text(int error);

// Returns true when `fd` is an open descriptor.
bool is_open(int fd);

// Closes `fd`. Returns 0, or the reason a delayed write failed.
int close_file(int fd);

// A descriptor with an owner, closed when the owner goes: no close by hand
// on every way out.
class unique_fd {
  public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    unique_fd(unique_fd &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    unique_fd &operator=(unique_fd &&other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    unique_fd(const unique_fd &) = delete;
    unique_fd &operator=(const unique_fd &) = delete;
    ~unique_fd() { (void)close(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    // Closes the descriptor now. Returns 0, or the reason a delayed write
    // failed.
    int close() { return fd_ < 0 ? 0 : close_file(std::exchange(fd_, -1)); }

  private:
    int fd_ = -1;
};

// Opens `path` into `fd` for reading without waiting on a FIFO or a device
// (no carrier, no controlling terminal). Never as 0-2: a standard stream
// that came closed must not turn into a file the program reads or writes.
int open_for_reading(const char *path, unique_fd &fd);

// Opens `path` to read it to its end: a FIFO waits for its writer, as cat
// does. Never as 0-2.
int open_to_read_through(const char *path, unique_fd &fd);

// Opens `path` for writing, creating it if it is missing but never
// truncating it, so that a reader never sees it emptied. Never as 0-2.
// A file it creates is readable and writable by its owner whatever the
// umask: the program reads back what it writes.
int create_for_writing(const char *path, unique_fd &fd);

// Creates `path`, which must not exist, for writing, readable and writable
// by its owner whatever the umask. Never as 0-2.
int create_new(const char *path, unique_fd &fd);

// Returns true when `fd` is a regular file, and sets `size` to its length.
bool is_regular_file(int fd, std::uint64_t *size = nullptr);

// What separates folders in a path: "/", and on Windows "\\" too.
extern const char *const folder_separators;

// The longest name a file in `folder` can have, and the length of `name`
// as the file system counts it: in bytes on POSIX systems, in UTF-16 code
// units on Windows.
std::size_t longest_name(const char *folder);
std::size_t name_length(std::string_view name);

// Returns true when `path` names a file of this process's own user that
// the owner may not both read and write (left so by hand, chmod 000): a
// way out the owner can take alone. Always false on Windows, whose files
// have no such owner's bits.
bool owner_lacks_access(const char *path);

// Returns true when `path` names anything at all (a dangling link too).
bool path_exists(const char *path);

// What `path` names, links followed: nothing, a regular file, a folder, or
// something special (a device, a FIFO, a socket).
enum class file_kind { missing, regular, folder, special };
file_kind path_kind(const char *path);

// Returns true when `a` and `b` both exist and are one file, through a
// hard or a symbolic link; and when the file open on `fd` is the one at
// `path`.
bool same_file(const char *a, const char *b);
bool same_file(int fd, const char *path);

// Fills `buffer` from `fd` until it is full or the input ends, resuming
// after interrupted reads, and sets `got` to the byte count.
int read_up_to(int fd, void *buffer, std::size_t size, std::size_t &got);

// Writes all `size` bytes to `fd`, resuming after interrupted and partial
// writes and waiting while a non-blocking output asks to try again. Returns
// 0, or the reason of the failure ("No space left on device" for a write
// that took nothing).
int write_all(int fd, const void *data, std::size_t size);

// Cuts the regular file open on `fd` to `size` bytes. Returns 0 or the
// reason.
int cut_to_size(int fd, std::uint64_t size);

// Makes what was written to `fd` reach the disk. Returns 0 or the reason.
int flush_to_disk(int fd);

// Gives the new file at `from` the name `to`, which must not exist: never
// replaces a file. Returns 0 or the reason (the system's "File exists").
int rename_new(const char *from, const char *to);

// Removes `path`; a failure is ignored. Safe in a signal handler, as is
// close_file.
void remove_file(const char *path);

// Returns true when `fd` is a terminal (or a console, or a serial port).
bool is_terminal(int fd);

// Returns true when `fd` is the terminal the user of this process types
// at: its controlling terminal, or on Windows its console.
bool is_users_terminal(int fd);

// The most a snapshot can take back.
inline constexpr std::size_t snapshot_limit = 4096;

// What a regular file held where a write of at most snapshot_limit bytes
// is about to go: its length, its offset, and the bytes the write will go
// over (where the descriptor can read them); kept through a descriptor of
// its own, so that it can be put back after the first is closed.
class file_snapshot {
  public:
    // Remembers the regular file open on `fd` before `size` bytes are
    // written to it. Returns false for anything but a regular file.
    bool remember(int fd, std::size_t size);

    // Puts the file back as it was remembered: length, contents and offset.
    void put_back() const;

    // The snapshot's own descriptor, which shares the file's offset.
    int descriptor() const { return fd_.get(); }

  private:
    unique_fd fd_;
    std::uint64_t size_ = 0, offset_ = 0;
    std::array<char, snapshot_limit> bytes_{};
    std::size_t saved_ = 0;
};

// Writes all `size` bytes (at most snapshot_limit) to `fd` and closes it.
// Returns 0, or the reason of the failure. When `fd` is a regular file, a
// failure leaves it as it was: its length, its offset and the bytes the
// write went over (where `fd` can read them back).
int write_whole_and_close(int fd, const void *data, std::size_t size);

// Writes `bytes` to `fd` whole and to the disk, and closes it. Returns 0 or
// the first reason it failed.
int write_to_disk_and_close(unique_fd &fd, std::span<const unsigned char> bytes);

// Creates `path`, where no file has it, and writes `bytes` to it whole and
// to the disk, or removes it again. Returns 0 or the reason.
int save_new_file(const char *path, std::span<const unsigned char> bytes);

} // namespace freqimg
