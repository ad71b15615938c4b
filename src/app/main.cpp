// freqimg: turns the channel list "freq.dat" into the stream that uploads the
// radio's whole memory image, written to standard output. It takes no options.
//
// The run checks the whole list before it writes a file, writes both strip
// files, assembles the whole stream from the strips read back, and only then
// writes the stream with one write. Any failure prints one line and exits 1
// with nothing on standard output.

#include "channel_files.hpp"
#include "image_template.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace freqimg;

int fail(const char *message) {
    std::fprintf(stderr, "freqimg: %s\n", message);
    return 1;
}

int fail_write(int error) {
    std::fprintf(stderr, "freqimg: write error: %s\n", std::strerror(error));
    return 1;
}

// Puts /dev/null on any of descriptors 0-2 that came closed, so that no file
// opened later takes its place. Returns false if standard output was closed.
bool guard_standard_descriptors() {
    bool stdout_open = true;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (fd == STDOUT_FILENO)
            stdout_open = false;
        if (::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) != fd)
            return false; // cannot even hold the place: give up before any output
    }
    return stdout_open;
}

// Writes the whole stream and closes standard output; returns 0 or errno.
int write_stream(const image_stream &stream) {
    if (int error = write_all(STDOUT_FILENO, stream.bytes.data(), stream.size))
        return error;
    return ::close(STDOUT_FILENO) == 0 ? 0 : errno;
}

} // namespace

int main() {
    if (!guard_standard_descriptors())
        return fail_write(EBADF);

    freq_table table{};
    if (fault f = read_freq_table(table))
        return fail(f.c_str());
    if (fault f = write_strip(tx_strip_path, table, tx_column))
        return fail(f.c_str());
    if (fault f = write_strip(rx_strip_path, table, rx_column))
        return fail(f.c_str());

    constexpr auto window_end = static_cast<std::uint16_t>(window_records * record_data_size);
    constexpr auto last_record = static_cast<std::uint16_t>(image_size - record_data_size);
    image_stream stream;
    strip tx_strip{}, rx_strip{};
    emit_fixed_records(stream, 0x0000, tx_window_base - record_data_size);
    if (fault f = read_strip(tx_strip_path, table, tx_column, tx_strip))
        return fail(f.c_str());
    emit_window(stream, tx_window_base, {tx_strip.data(), tx_strip.size()});
    emit_fixed_records(stream, tx_window_base + window_end, rx_window_base - record_data_size);
    if (fault f = read_strip(rx_strip_path, table, rx_column, rx_strip))
        return fail(f.c_str());
    emit_window(stream, rx_window_base, {rx_strip.data(), rx_strip.size()});
    emit_fixed_records(stream, rx_window_base + window_end, last_record);

    if (int error = write_stream(stream))
        return fail_write(error);
    return 0;
}
