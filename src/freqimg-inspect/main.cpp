// freqimg-inspect: checks an upload stream as freqimg writes it and shows
// what it would program, or gives back the channel list that makes it.

#include "channel_files.hpp"
#include "image_decode.hpp"
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
constexpr std::size_t input_limit = 1 << 20; // an endless input is no stream

constexpr const char *usage_text =
    "Usage: freqimg-inspect [--freq-list] [FILE]\n"
    "Check an upload stream made by freqimg and show what it programs.\n"
    "With no FILE, or when FILE is -, read standard input.\n"
    "\n"
    "  --freq-list  print a channel list from which freqimg makes the same\n"
    "               stream (labels are placeholders: the stream has none)\n"
    "  --help       print this help and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Exit status: 0 for a sound stream, 1 for a faulty one or trouble\n"
    "reading it, 2 for a usage error.\n";

int usage_error(const char *what, const char *arg) {
    std::fprintf(stderr, "%s: %s '%s'\nTry '%s --help' for more information.\n", program, what, arg,
                 program);
    return 2;
}

// Reads all of `fd` up to input_limit + 1 bytes; returns false with errno set.
bool read_input(int fd, std::vector<unsigned char> &bytes) {
    bytes.resize(input_limit + 1);
    ssize_t n = read_up_to(fd, reinterpret_cast<char *>(bytes.data()), bytes.size());
    bytes.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return n >= 0;
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
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            return usage_error("unrecognized option", argv[i]);
        } else if (path != nullptr) {
            return usage_error("extra operand", argv[i]);
        } else {
            path = argv[i];
        }
    }

    bool from_stdin = path == nullptr || std::strcmp(path, "-") == 0;
    const char *name = from_stdin ? "standard input" : path;
    int fd = from_stdin ? STDIN_FILENO : open_file(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "%s: %s: cannot open: %s\n", program, name, std::strerror(errno));
        return 1;
    }
    std::vector<unsigned char> bytes;
    if (!read_input(fd, bytes)) {
        std::fprintf(stderr, "%s: %s: read error: %s\n", program, name, std::strerror(errno));
        return 1;
    }
    if (!from_stdin)
        ::close(fd);
    if (bytes.size() > input_limit) {
        std::fprintf(stderr, "%s: %s: stream is over %zu bytes, not %zu\n", program, name,
                     input_limit, stream_size);
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
    constexpr std::string_view message = "freqimg-inspect: memory exhausted\n";
    (void)!::write(STDERR_FILENO, message.data(), message.size());
    ::_exit(1);
}

} // namespace

int main(int argc, char **argv) {
    std::set_new_handler(memory_exhausted);
    return inspect(argc, argv);
}
