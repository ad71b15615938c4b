// freqimg: turns the channel list "freq.dat" into the stream that uploads the
// radio's whole memory image, written to standard output. It takes no options.
//
// The run checks the whole list before it writes a file, writes both strip
// files, assembles the whole stream from the strips read back, and only then
// writes the stream, with one write where the output takes it whole. Any
// failure prints one line and exits 1, and takes back what it wrote to a
// regular file.

#include "channels/channel_files.hpp"
#include "common/report.hpp"
#include "image/image_template.hpp"
#include "platform/file_ops.hpp"

#include <cerrno>

using namespace freqimg;

int main(int argc, char **) {
    set_program_name("freqimg");
    prepare_process();
    // A closed standard output is caught before any file is touched. Closed
    // standard input or error are no reason to fail: the program's own
    // files never take their descriptors.
    if (!is_open(standard_output))
        return report_write_error(EBADF);
    // As gzip will not write compressed data to a terminal: binary typed out
    // at the user's own terminal helps nobody, and can leave it garbled. A
    // serial line given as standard output is written as any file is.
    if (is_users_terminal(standard_output))
        return report_error("standard output is the terminal you type at: keep the stream "
                            "with 'freqimg > upload.bin', or send it with 'freqimg | "
                            "freqimg-send PORT'");
    if (argc > 1)
        report_warning({{},
                        "arguments are ignored; the list is always freq.dat in the working "
                        "directory"});

    freq_table table{};
    field_lines lines{};
    rest_of_list rest;
    if (fault f = read_freq_table(table, lines, rest))
        return report_error(f);
    for (std::size_t channel = 1; channel <= channel_count; ++channel)
        for (std::size_t column : {tx_column, rx_column})
            if (warning w = entry_warning(table, lines, channel, column))
                report_warning(w);
    if (rest.line != 0)
        report_warning(rest_warning(rest.line));
    if (rest.unread)
        report_warning(rest.unread);
    if (fault f = check_files_apart())
        return report_error(f);
    if (fault f = write_strip(tx_strip_path, table, tx_column))
        return report_error(f);
    if (fault f = write_strip(rx_strip_path, table, rx_column))
        return report_error(f);

    strip tx_strip{}, rx_strip{};
    if (fault f = read_strip(tx_strip_path, table, tx_column, tx_strip))
        return report_error(f);
    if (fault f = read_strip(rx_strip_path, table, rx_column, rx_strip))
        return report_error(f);
    image_stream stream =
        compose_stream({tx_strip.data(), tx_strip.size()}, {rx_strip.data(), rx_strip.size()});

    static_assert(stream_size <= snapshot_limit);
    if (int error = write_whole_and_close(standard_output, stream.bytes.data(), stream.size))
        return report_write_error(error);
    return 0;
}
