// The program's three files in the working directory: the channel list
// "freq.dat", read, and the strip files "temptx.dat" and "temprx.dat",
// written and read back. Each file is opened, used and closed before the next;
// every failure comes back as a fault naming the file and the system's reason.
#pragma once

#include "fault.hpp"
#include "freq_list.hpp"

#include <sys/types.h>

namespace freqimg {

inline constexpr const char *tx_strip_path = "temptx.dat";
inline constexpr const char *rx_strip_path = "temprx.dat";

// Opens `path` as open(2) does, but never on descriptors 0-2: a standard
// stream that came closed must not turn into a file the program writes or
// reads. Returns the descriptor, or -1 with errno set.
int open_file(const char *path, int flags, mode_t mode = 0);

// Fills `buffer` from `fd` until it is full or the input ends, resuming after
// interrupted reads. Returns the byte count, or -1 with errno set.
ssize_t read_up_to(int fd, char *buffer, std::size_t size);

// Writes all `size` bytes to `fd`, resuming after interrupted and partial
// writes and waiting (poll) while a non-blocking output asks to try again.
// Returns 0, or the errno of the failure (ENOSPC for a write that took
// nothing).
int write_all(int fd, const void *data, std::size_t size);

// The most write_whole_and_close can take back from a regular file.
inline constexpr std::size_t take_back_limit = 4096;

// Writes all `size` bytes (at most take_back_limit) to `fd` with write_all
// and closes it. Returns 0, or the errno of the failure. When `fd` is a
// regular file, a failure leaves it as it was: its length, its offset and
// the bytes the write went over (where `fd` can read them back).
int write_whole_and_close(int fd, const void *data, std::size_t size);

// Reads "freq.dat" into `table` and the line of each field into `lines`. It
// must be a regular file whose first 63 tokens end within freq_list_limit
// bytes and pass parse_freq_list.
fault read_freq_table(freq_table &table, field_lines &lines);

// Refuses a strip file that is the list itself or the other strip, through a
// hard or a symbolic link: writing it would destroy what the run reads.
// Returns a fault naming both ("temptx.dat: same file as freq.dat").
fault check_files_apart();

// Makes `path` hold the strip of `column`: its 120 characters and nothing
// else. The file is written over in place and then cut to size, never
// emptied first, so a run reading it back while another run writes the same
// strip sees the whole strip throughout.
fault write_strip(const char *path, const freq_table &table, std::size_t column);

// Reads the strip file at `path` back into `out`. It must still hold exactly
// the strip write_strip wrote for `column`; anything else means the file
// changed underneath and is a fault.
fault read_strip(const char *path, const freq_table &table, std::size_t column, strip &out);

} // namespace freqimg
