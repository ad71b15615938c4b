// freqimg: turns the channel list "freq.dat" into the stream that uploads the
// radio's whole memory image, written to standard output. It takes no options.
//
// The run checks the whole list before it writes a file, writes both strip
// files, assembles the whole stream from the strips read back, and only then
// writes the stream, with one write where the output takes it whole. Any
// failure prints one line and exits 1, and takes back what it wrote to a
// regular file.

#include "channels/channel_files.hpp"
#include "image/image_template.hpp"

#include <cstdio>

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
    std::fprintf(stderr, "freqimg: write error: %s\n", error_text(error));
    return 1;
}

} // namespace

int main(int argc, char **) {
    prepare_process();
    // A closed standard output is caught before any file is touched. Closed
    // standard input or error are no reason to fail: the program's own
    // files never take their descriptors.
    if (!is_open(standard_output))
        return fail_write(error_code(file_error::bad_descriptor));
    if (argc > 1)
        say("warning: arguments are ignored; the list is always freq.dat in the working directory");

    freq_table table{};
    field_lines lines{};
    rest_of_list rest;
    if (fault f = read_freq_table(table, lines, rest))
        return fail(f.c_str());
    for (std::size_t channel = 1; channel <= channel_count; ++channel)
        for (std::size_t column : {tx_column, rx_column})
            if (fault f = entry_warning(table, lines, channel, column))
                say(f.c_str());
    if (rest.line != 0)
        std::fprintf(stderr,
                     "freqimg: %s:%u: warning: the list goes on after channel 20; the rest is "
                     "not read\n",
                     freq_list_path, rest.line);
    if (rest.unread)
        say(rest.unread.c_str());
    if (fault f = check_files_apart())
        return fail(f.c_str());
    if (fault f = write_strip(tx_strip_path, table, tx_column))
        return fail(f.c_str());
    if (fault f = write_strip(rx_strip_path, table, rx_column))
        return fail(f.c_str());

    strip tx_strip{}, rx_strip{};
    if (fault f = read_strip(tx_strip_path, table, tx_column, tx_strip))
        return fail(f.c_str());
    if (fault f = read_strip(rx_strip_path, table, rx_column, rx_strip))
        return fail(f.c_str());
    image_stream stream =
        compose_stream({tx_strip.data(), tx_strip.size()}, {rx_strip.data(), rx_strip.size()});

    static_assert(stream_size <= take_back_limit);
    if (int error = write_whole_and_close(standard_output, stream.bytes.data(), stream.size))
        return fail_write(error);
    return 0;
}
