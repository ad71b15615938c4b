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

// Fills `buffer` from `fd` until it is full or the input ends, resuming after
// interrupted reads. Returns the byte count, or -1 with errno set.
ssize_t read_up_to(int fd, char *buffer, std::size_t size);

// Writes all `size` bytes to `fd`, resuming after interrupted and partial
// writes. Returns 0, or the errno of the failure (ENOSPC for a write that
// took nothing).
int write_all(int fd, const void *data, std::size_t size);

// Reads "freq.dat" into `table`. It must be a regular file whose first 63
// tokens end within freq_list_limit bytes and pass parse_freq_list.
fault read_freq_table(freq_table &table);

// Creates or truncates `path` and writes the strip of `column` into it: its
// 120 characters and nothing else.
fault write_strip(const char *path, const freq_table &table, std::size_t column);

// Reads the strip file at `path` back into `out`. It must still hold exactly
// the strip write_strip wrote for `column`; anything else means the file
// changed underneath and is a fault.
fault read_strip(const char *path, const freq_table &table, std::size_t column, strip &out);

} // namespace freqimg
