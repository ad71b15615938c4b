// The program's three files in the working directory: the channel list
// "freq.dat", read, and the strip files "temptx.dat" and "temprx.dat",
// written and read back. Each file is opened, used and closed before the next;
// every failure comes back as a fault naming the file and the system's reason.
#pragma once

#include "channels/freq_list.hpp"
#include "common/fault.hpp"
#include "platform/file_ops.hpp"

namespace freqimg {

inline constexpr const char *tx_strip_path = "temptx.dat";
inline constexpr const char *rx_strip_path = "temprx.dat";

// What follows the list in "freq.dat": a twenty-first channel, say, which
// must not be dropped in silence.
struct rest_of_list {
    unsigned line = 0; // where text after the list begins; 0 when none does
    warning unread;    // when the file could not be looked through
};

// Reads "freq.dat" into `table` and the line of each field into `lines`. It
// must be a regular file whose first 63 tokens end within freq_list_limit
// bytes and pass parse_freq_list. A missing "freq.dat" beside a
// "freq.dat.txt" says so. Fills `rest`: the file is looked through past the
// list to its end, or for rest_look_limit bytes of blanks ("freq.dat:
// warning: more than 16 MiB of blanks follow channel 20; the rest could not
// be read").
fault read_freq_table(freq_table &table, field_lines &lines, rest_of_list &rest);

// Refuses, before anything is written, what would write over the run's own
// files or write where it should not: a standard output that is the list or
// a strip ("standard output: same file as freq.dat", as `freqimg >>
// freq.dat` makes it); a strip file that is the list itself or the other
// strip, through a hard or a symbolic link ("temptx.dat: same file as
// freq.dat"); and a strip that is a device, a FIFO or a socket ("temptx.dat:
// not a regular file").
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
