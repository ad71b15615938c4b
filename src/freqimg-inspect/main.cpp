// freqimg-inspect: checks an upload stream as freqimg writes it and shows
// what it would program, or gives back the channel list that makes it. It
// reads a file, a pipe, or one stream from a serial line.

#include "image_decode.hpp"
#include "stream_input.hpp"
#include "stream_report.hpp"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace freqimg;

constexpr const char *program = "freqimg-inspect";
constexpr unsigned default_silence_ms = 5000;

constexpr const char *usage_text =
    "Usage: freqimg-inspect [--freq-list] [--timeout SECONDS] [FILE]\n"
    "Check an upload stream made by freqimg and show what it programs.\n"
    "With no FILE, or when FILE is -, read standard input. From a serial\n"
    "line, read one stream: stop after 2944 bytes, or when the line has\n"
    "been silent for SECONDS (default 5) once data has begun.\n"
    "\n"
    "  --freq-list          print a channel list from which freqimg makes the\n"
    "                       same stream (labels are placeholders: the stream\n"
    "                       has none)\n"
    "  --timeout SECONDS    how long a serial line may be silent\n"
    "  --help               print this help and exit\n"
    "  --version            print the version and exit\n"
    "\n"
    "Exit status: 0 for a sound stream, 1 for a faulty one or trouble\n"
    "reading it, 2 for a usage error.\n";

int usage_error(const char *what, const char *arg) {
    std::fprintf(stderr, "%s: %s '%s'\nTry '%s --help' for more information.\n", program, what, arg,
                 program);
    return 2;
}

int inspect(int argc, char **argv) {
    bool freq_list = false;
    unsigned silence_ms = default_silence_ms;
    const char *path = nullptr;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        const char *value = nullptr;
        if (!options_done && arg == "--") {
            options_done = true;
        } else if (!options_done && arg == "--help") {
            return write_output(program, usage_text);
        } else if (!options_done && arg == "--version") {
            return write_output(program, "freqimg-inspect (freqimg) " FREQIMG_VERSION "\n");
        } else if (!options_done && arg == "--freq-list") {
            freq_list = true;
        } else if (!options_done && long_option(argv, i, "--timeout", value)) {
            if (value == nullptr)
                return usage_error("option requires an argument", "--timeout");
            if (!parse_seconds(value, silence_ms))
                return usage_error("invalid timeout", value);
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            return usage_error("unrecognized option", argv[i]);
        } else if (path != nullptr) {
            return usage_error("extra operand", argv[i]);
        } else {
            path = argv[i];
        }
    }

    std::vector<unsigned char> bytes;
    decoded_stream stream;
    if (!read_sound_stream(program, path, silence_ms, bytes, stream))
        return 1;
    const char *name = stream_input_name(path);
    for (const std::string &warning : entry_warnings(stream))
        std::fprintf(stderr, "%s: %s: warning: %s\n", program, name, warning.c_str());
    if (const char *how = differs_from_freqimg(stream); freq_list && how != nullptr)
        std::fprintf(stderr, "%s: %s: warning: %s; freqimg makes another stream from this list\n",
                     program, name, how);
    return write_output(program, freq_list ? freq_list_text(stream) : stream_report(stream));
}

} // namespace

int main(int argc, char **argv) {
    end_when_out_of_memory(program);
    return inspect(argc, argv);
}
