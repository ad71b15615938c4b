// freqimg-inspect: checks an upload stream as freqimg writes it and shows
// what it would program, or gives back the channel list that makes it. It
// reads a file, a pipe, or one stream from a serial line.

#include "common/command_line.hpp"
#include "common/report.hpp"
#include "image/image_decode.hpp"
#include "platform/ending_guard.hpp"
#include "platform/file_ops.hpp"
#include "serial/serial_line.hpp"
#include "stream/backup_file.hpp"
#include "stream/stream_compare.hpp"
#include "stream/stream_input.hpp"
#include "stream/stream_report.hpp"
#include "stream/transfer_progress.hpp"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace freqimg;

constexpr unsigned default_silence_ms = 5000;

constexpr const char *usage_text =
    "Usage: freqimg-inspect [--freq-list | --compare EXPECTED] [--timeout SECONDS]\n"
    "                       [--save NEWFILE] [FILE]\n"
    "Check an upload stream made by freqimg and show what it programs.\n"
    "With no FILE, or when FILE is -, read standard input. From a serial\n"
    "line, read one stream: stop after 2944 bytes, or when the line has\n"
    "been silent for SECONDS (default 5) once data has begun.\n"
    "\n"
    "  --freq-list          print a channel list from which freqimg makes the\n"
    "                       same stream (labels are placeholders: the stream\n"
    "                       has none)\n"
    "  --compare EXPECTED   say whether the stream programs the image the stream\n"
    "                       file EXPECTED does, channel by channel; exit 0 when\n"
    "                       it does, 1 when not\n"
    "  --timeout SECONDS    how long a serial line may be silent (at most 86400)\n"
    "  --save NEWFILE       keep the bytes read, sound or not, in a new file\n"
    "                       (a backup of what a radio sent)\n"
    "  --help               print this help and exit\n"
    "  --version            print the version and exit\n"
    "\n"
    "Exit status: 0 for a sound stream (with --compare, one that programs\n"
    "EXPECTED's image), 1 for a faulty one or trouble reading it, 2 for a\n"
    "usage error.\n";

int inspect(int argc, char **argv) {
    enum { freq_list_option, timeout_option, save_option, compare_option };
    constexpr long_option options[] = {
        {"freq-list", false}, {"timeout", true}, {"save", true}, {"compare", true}};
    bool freq_list = false;
    const char *save_path = nullptr;
    const char *expected_path = nullptr;
    unsigned silence_ms = default_silence_ms;
    options_read read =
        read_options(usage_text, argc, argv, options, [&](std::size_t o, const char *value) {
            if (o == timeout_option && !parse_seconds(value, silence_ms)) {
                usage_error("invalid timeout", value);
                return false;
            }
            if ((o == save_option || o == compare_option) && *value == '\0') {
                usage_error("invalid file name", value);
                return false;
            }
            expected_path = o == compare_option ? value : expected_path;
            freq_list = freq_list || o == freq_list_option;
            save_path = o == save_option ? value : save_path;
            return true;
        });
    if (read.end_status)
        return *read.end_status;
    const int first = read.first_operand;
    if (argc - first > 1)
        return usage_error("extra operand", argv[first + 1]);
    const char *path = argv[first]; // argv[argc] is null: standard input
    if (freq_list && expected_path != nullptr)
        return usage_error("--freq-list and --compare cannot be given together");

    // The stream meant, read and checked before anything is captured.
    decoded_stream expected;
    if (expected_path != nullptr) {
        if (is_standard_input(expected_path) || names_a_device(expected_path))
            return report_error(
                make_fault("%s: not a stream file", stream_input_name(expected_path).c_str()));
        transfer_progress none(stderr, false, transfer_progress::direction::receiving, 0);
        stream_input meant = read_stream_input(expected_path, 0, none);
        if (meant.failure)
            return report_error(meant.failure);
        if (report_errors(check_stream_input(expected_path, meant.bytes, expected)) != 0)
            return 1;
    }

    // What cannot be saved (an old backup, a folder that is missing) is
    // refused before a radio is asked to send.
    backup_file backup;
    if (save_path != nullptr)
        if (fault f = backup.open(save_path))
            return report_error(f);
    transfer_progress shown(stderr, is_terminal(standard_error),
                            transfer_progress::direction::receiving, 0);
    stream_input in = read_stream_input(path, silence_ms, shown);
    if (in.noise)
        report_warning(in.noise);
    // What was read is kept as it came, sound or not, and so is what a line
    // gave before it failed; the check and its exit status are what they
    // would be without it.
    int saved = 0;
    if (save_path != nullptr && (!in.failure || !in.bytes.empty()))
        if (fault f = backup.save(in.bytes))
            saved = report_error(f);
    if (in.failure)
        return report_error(in.failure);
    decoded_stream stream;
    if (report_errors(check_stream_input(path, in.bytes, stream)) != 0)
        return 1;
    const std::string name = stream_input_name(path);
    for (const warning &w : entry_warnings(stream, name))
        report_warning(w);
    if (warning w = freq_list_warning(stream, name); freq_list && w)
        report_warning(w);
    if (expected_path != nullptr) {
        comparison c = compare_streams(expected, stream, stream_input_name(expected_path), name);
        std::string lines;
        for (const std::string &line : c.lines)
            lines += line + "\n";
        int shown_status = write_output(lines);
        return std::max({saved, shown_status, c.same ? 0 : 1});
    }
    int shown_status = write_output(freq_list ? freq_list_text(stream) : stream_report(stream));
    return std::max(saved, shown_status);
}

} // namespace

int main(int argc, char **argv) {
    set_program_name("freqimg-inspect");
    prepare_process();
    end_when_out_of_memory(run_ending_actions);
    return inspect(argc, argv);
}
