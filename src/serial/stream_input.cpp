#include "stream_input.hpp"

#include "channel_files.hpp"
#include "serial_line.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

namespace freqimg {
namespace {

const char *program_short_of_memory = "";

[[noreturn]] void memory_exhausted() {
    return_line();
    constexpr std::string_view message = ": memory exhausted\n";
    (void)!::write(STDERR_FILENO, program_short_of_memory, std::strlen(program_short_of_memory));
    (void)!::write(STDERR_FILENO, message.data(), message.size());
    ::_exit(1);
}

bool is_standard_input(const char *path) {
    return path == nullptr || std::strcmp(path, "-") == 0;
}

fault system_fault(const char *name, const char *what, int error) {
    return make_fault("%s: %s: %s", name, what, std::strerror(error));
}

// Reads one stream from the terminal open on `fd`, borrowed for the time.
fault capture(int fd, const char *name, bool owned, std::size_t stream_bytes, unsigned silence_ms,
              std::vector<unsigned char> &bytes) {
    if (fault f = borrow_line(fd, name, 0, owned))
        return f;
    bytes.resize(stream_bytes);
    capture_outcome got = capture_from_line(bytes, silence_ms);
    return_line();
    bytes.resize(got.size);
    return got.error != 0 ? system_fault(name, "read error", got.error) : fault{};
}

} // namespace

int write_output(const char *program, std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fclose(stdout) == 0)
        return 0;
    std::fprintf(stderr, "%s: write error: %s\n", program, std::strerror(errno));
    return 1;
}

void end_when_out_of_memory(const char *program) {
    program_short_of_memory = program;
    std::set_new_handler(memory_exhausted);
}

const char *stream_input_name(const char *path) {
    return is_standard_input(path) ? "standard input" : path;
}

bool long_option(char **argv, int &i, std::string_view name, const char *&value) {
    std::string_view arg = argv[i];
    if (arg == name)
        value = argv[++i];
    else if (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=')
        value = argv[i] + name.size() + 1;
    else
        return false;
    return true;
}

bool parse_seconds(const char *text, unsigned &milliseconds) {
    char *end = nullptr;
    errno = 0;
    double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !(seconds >= 0.001 && seconds <= 86400))
        return false;
    milliseconds = static_cast<unsigned>(std::lround(seconds * 1000));
    return true;
}

fault read_stream_input(const char *path, std::size_t stream_bytes, unsigned silence_ms,
                        std::vector<unsigned char> &bytes) {
    const char *name = stream_input_name(path);
    int fd = STDIN_FILENO;
    bool owned = !is_standard_input(path);
    if (owned) {
        // A device is opened as a line is, so that a serial port without
        // carrier does not hold the open up; any other file as it is.
        fd = open_line(path);
        bool device = fd >= 0;
        if (fd < 0 && errno == ENOTTY)
            fd = open_file(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return system_fault(name, "cannot open", errno);
        if (device && ::isatty(fd) == 0)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    if (::isatty(fd) != 0)
        return capture(fd, name, owned, stream_bytes, silence_ms, bytes);

    bytes.resize(stream_input_limit + 1);
    ssize_t n = read_up_to(fd, reinterpret_cast<char *>(bytes.data()), bytes.size());
    int error = errno;
    if (owned)
        ::close(fd);
    if (n < 0)
        return system_fault(name, "read error", error);
    bytes.resize(static_cast<std::size_t>(n));
    if (bytes.size() > stream_input_limit)
        return make_fault("%s: stream is over %zu bytes, not %zu", name, stream_input_limit,
                          stream_bytes);
    return {};
}

bool read_sound_stream(const char *program, const char *path, unsigned silence_ms,
                       std::vector<unsigned char> &bytes, decoded_stream &stream) {
    if (fault f = read_stream_input(path, stream_size, silence_ms, bytes)) {
        std::fprintf(stderr, "%s: %s\n", program, f.c_str());
        return false;
    }
    stream = decode_stream(bytes);
    for (const std::string &f : stream.faults)
        std::fprintf(stderr, "%s: %s: %s\n", program, stream_input_name(path), f.c_str());
    return stream.faults.empty();
}

} // namespace freqimg
