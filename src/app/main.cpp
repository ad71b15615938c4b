// freqimg: turns the channel list "freq.dat" into the stream that uploads the
// radio's whole memory image, written to standard output. It takes no options.
//
// The run checks the whole list before it writes a file, writes both strip
// files, assembles the whole stream from the strips read back, and only then
// writes the stream, with one write where the output takes it whole. Any
// failure prints one line and exits 1, and takes back what it wrote to a
// regular file.

#include "channel_files.hpp"
#include "image_template.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace freqimg;

void say(const char *message) {
    std::fprintf(stderr, "freqimg: %s\n", message);
}

int fail(const char *message) {
    say(message);
    return 1;
}

int fail_write(int error) {
    std::fprintf(stderr, "freqimg: write error: %s\n", std::strerror(error));
    return 1;
}

// A closed standard output is caught before any file is touched. Closed
// standard input or error are no reason to fail: open_file keeps the
// program's files off their descriptors.
bool standard_output_open() {
    return ::fcntl(STDOUT_FILENO, F_GETFD) != -1 || errno != EBADF;
}

} // namespace

int main(int argc, char **) {
    // A file size limit is a write error like a full disk, reported and
    // taken back, not a signal that ends the run half way.
    ::signal(SIGXFSZ, SIG_IGN);
    if (!standard_output_open())
        return fail_write(EBADF);
    if (argc > 1)
        say("warning: arguments are ignored; the list is always freq.dat in the working directory");

    freq_table table{};
    field_lines lines{};
    if (fault f = read_freq_table(table, lines))
        return fail(f.c_str());
    for (std::size_t channel = 1; channel <= channel_count; ++channel)
        for (std::size_t column : {tx_column, rx_column})
            if (fault f = entry_warning(table, lines, channel, column))
                say(f.c_str());
    if (fault f = check_files_apart())
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

    static_assert(stream_size <= take_back_limit);
    if (int error = write_whole_and_close(STDOUT_FILENO, stream.bytes.data(), stream.size))
        return fail_write(error);
    return 0;
}
