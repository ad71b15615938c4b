// freqimg-inspect: checks an upload stream as freqimg writes it and shows
// what it would program, or gives back the channel list that makes it. It
// reads a file, a pipe, or one stream from a serial line.

#include "image_decode.hpp"
#include "serial_line.hpp"
#include "stream_input.hpp"
#include "stream_report.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

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

// Writes `text` to standard output and closes it, like any output of the
// program; a failure is reported and gives exit status 1.
int write_out(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fclose(stdout) == 0)
        return 0;
    std::fprintf(stderr, "%s: write error: %s\n", program, std::strerror(errno));
    return 1;
}

int inspect(int argc, char **argv) {
    bool freq_list = false;
    unsigned silence_ms = default_silence_ms;
    const char *path = nullptr;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (!options_done && arg == "--") {
            options_done = true;
        } else if (!options_done && arg == "--help") {
            return write_out(usage_text);
        } else if (!options_done && arg == "--version") {
            return write_out("freqimg-inspect (freqimg) " FREQIMG_VERSION "\n");
        } else if (!options_done && arg == "--freq-list") {
            freq_list = true;
        } else if (!options_done && (arg == "--timeout" || arg.starts_with("--timeout="))) {
            const char *value = arg == "--timeout" ? argv[++i] : argv[i] + 10;
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

    const char *name = stream_input_name(path);
    std::vector<unsigned char> bytes;
    if (fault f = read_stream_input(path, stream_size, silence_ms, bytes)) {
        std::fprintf(stderr, "%s: %s\n", program, f.c_str());
        return 1;
    }

    decoded_stream stream = decode_stream(bytes);
    for (const std::string &fault : stream.faults)
        std::fprintf(stderr, "%s: %s: %s\n", program, name, fault.c_str());
    if (!stream.faults.empty())
        return 1;
    for (const std::string &warning : entry_warnings(stream))
        std::fprintf(stderr, "%s: %s: warning: %s\n", program, name, warning.c_str());
    if (const char *how = differs_from_freqimg(stream); freq_list && how != nullptr)
        std::fprintf(stderr, "%s: %s: warning: %s; freqimg makes another stream from this list\n",
                     program, name, how);
    return write_out(freq_list ? freq_list_text(stream) : stream_report(stream));
}

// Out of memory, the run says so in one line and ends. No exception: with
// memory this short the runtime may have none left to throw one with.
[[noreturn]] void memory_exhausted() {
    return_line();
    constexpr std::string_view message = "freqimg-inspect: memory exhausted\n";
    (void)!::write(STDERR_FILENO, message.data(), message.size());
    ::_exit(1);
}

} // namespace

int main(int argc, char **argv) {
    std::set_new_handler(memory_exhausted);
    return inspect(argc, argv);
}
