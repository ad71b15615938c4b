// freqimg-send: sends an upload stream over a serial line, exactly the bytes
// of a stream the decoder accepts, and waits until they have left the port.
//
// The whole input is read and checked before the port is opened; a faulty
// stream never reaches the line. The line is borrowed (exclusive, raw 8N1,
// no flow control) and put back as it was on every way out.

#include "image_decode.hpp"
#include "serial_line.hpp"
#include "stream_input.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

using namespace freqimg;

constexpr const char *program = "freqimg-send";
constexpr unsigned long default_speed = 9600;
constexpr unsigned bits_per_byte = 10; // start bit, 8 data bits, stop bit

constexpr const char *usage_text =
    "Usage: freqimg-send [--speed BAUD] [--timeout SECONDS] PORT [FILE]\n"
    "Check an upload stream made by freqimg, then send it over the serial\n"
    "line PORT and wait until it has left the port.\n"
    "With no FILE, or when FILE is -, read standard input:\n"
    "  freqimg | freqimg-send /dev/ttyUSB0\n"
    "\n"
    "  --speed BAUD       line speed (default 9600): 8 data bits, no parity,\n"
    "                     one stop bit, no flow control\n"
    "  --timeout SECONDS  give up when the line takes nothing for this long\n"
    "                     (default: five times the stream's time on the\n"
    "                     line, at least 5)\n"
    "  --help             print this help and exit\n"
    "  --version          print the version and exit\n"
    "\n"
    "Exit status: 0 when the whole stream has left the port, 1 for a faulty\n"
    "stream or a failure of the port or the line, 2 for a usage error.\n";

int usage_error(const char *what, const char *arg) {
    if (arg != nullptr)
        std::fprintf(stderr, "%s: %s '%s'\n", program, what, arg);
    else
        std::fprintf(stderr, "%s: %s\n", program, what);
    std::fprintf(stderr, "Try '%s --help' for more information.\n", program);
    return 2;
}

// Seconds the stream takes on the line at `baud`.
double line_seconds(std::size_t bytes, unsigned long baud) {
    return static_cast<double>(bytes * bits_per_byte) / static_cast<double>(baud);
}

// Five times the stream's time on the line in whole seconds, and never
// under 5 s.
unsigned default_timeout_ms(unsigned long baud) {
    auto seconds = static_cast<unsigned>(std::ceil(5 * line_seconds(stream_size, baud)));
    return 1000 * std::max(5U, seconds);
}

// The one-line display of what has left the port, updated in place, on a
// terminal only.
class progress_display {
  public:
    progress_display(bool shown, unsigned long baud) : shown_(shown), baud_(baud) {}

    void update(std::size_t sent) {
        auto now = clock::now();
        if (!shown_ || (sent < stream_size && now - last_ < std::chrono::milliseconds(100)))
            return;
        last_ = now;
        char text[96];
        std::snprintf(text, sizeof text,
                      "sending: %zu of %zu bytes, %zu of %zu frames, %zu%%, %.1f s left", sent,
                      stream_size, sent / frame_size, frame_count, sent * 100 / stream_size,
                      line_seconds(stream_size - sent, baud_));
        show(text);
    }

    // Ends the display with the final line.
    void finish() {
        if (!shown_)
            return;
        char text[96];
        std::snprintf(text, sizeof text, "sent %zu bytes, %zu frames, in %.1f s at %lu baud",
                      stream_size, frame_count,
                      std::chrono::duration<double>(clock::now() - start_).count(), baud_);
        show(text);
        end_line();
    }

    // Ends the display so that a message starts on a line of its own.
    void end_line() {
        if (width_ > 0)
            std::fputc('\n', stderr);
        width_ = 0;
    }

  private:
    using clock = std::chrono::steady_clock;

    void show(const char *text) {
        int n = std::fprintf(
            stderr, "\r%s%*s", text,
            std::max(0, static_cast<int>(width_) - static_cast<int>(std::strlen(text))), "");
        width_ = std::max(width_, static_cast<std::size_t>(std::max(n - 1, 0)));
        std::fflush(stderr);
    }

    bool shown_;
    unsigned long baud_;
    std::size_t width_ = 0;
    clock::time_point start_ = clock::now(), last_{};
};

int send(int argc, char **argv) {
    unsigned long speed = default_speed;
    unsigned timeout_ms = 0;
    const char *port = nullptr;
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
            return write_output(program, "freqimg-send (freqimg) " FREQIMG_VERSION "\n");
        } else if (!options_done && long_option(argv, i, "--speed", value)) {
            if (value == nullptr)
                return usage_error("option requires an argument", "--speed");
            char *end = nullptr;
            speed = std::strtoul(value, &end, 10);
            if (*value < '0' || *value > '9' || *end != '\0' || !is_line_speed(speed))
                return usage_error("invalid speed", value);
        } else if (!options_done && long_option(argv, i, "--timeout", value)) {
            if (value == nullptr)
                return usage_error("option requires an argument", "--timeout");
            if (!parse_seconds(value, timeout_ms))
                return usage_error("invalid timeout", value);
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            return usage_error("unrecognized option", argv[i]);
        } else if (port == nullptr) {
            port = argv[i];
        } else if (path == nullptr) {
            path = argv[i];
        } else {
            return usage_error("extra operand", argv[i]);
        }
    }
    if (port == nullptr)
        return usage_error("missing port operand", nullptr);
    if (timeout_ms == 0)
        timeout_ms = default_timeout_ms(speed);

    // Nothing goes out before the whole stream has been read and checked.
    std::vector<unsigned char> bytes;
    decoded_stream stream;
    if (!read_sound_stream(program, path, timeout_ms, bytes, stream))
        return 1;
    if (const char *how = differs_from_freqimg(stream))
        std::fprintf(stderr, "%s: %s: warning: %s; sending it as it stands\n", program,
                     stream_input_name(path), how);

    int fd = open_line(port);
    if (fd < 0) {
        if (errno == EBUSY)
            std::fprintf(stderr, "%s: %s: in use by another program\n", program, port);
        else if (errno == ENOTTY)
            std::fprintf(stderr, "%s: %s: not a serial line\n", program, port);
        else
            std::fprintf(stderr, "%s: %s: cannot open: %s\n", program, port, std::strerror(errno));
        return 1;
    }
    if (fault f = borrow_line(fd, port, speed, true)) {
        std::fprintf(stderr, "%s: %s\n", program, f.c_str());
        return 1;
    }
    progress_display progress(::isatty(STDERR_FILENO) != 0, speed);
    send_outcome sent =
        send_on_line(bytes, timeout_ms, [&progress](std::size_t n) { progress.update(n); });
    return_line();

    if (sent.timed_out || sent.error != 0) {
        progress.end_line();
        if (sent.timed_out)
            std::fprintf(stderr, "%s: %s: timed out after %g s with %zu of %zu bytes sent\n",
                         program, port, timeout_ms / 1000.0, sent.sent, bytes.size());
        else
            std::fprintf(stderr, "%s: %s: write error with %zu of %zu bytes sent: %s\n", program,
                         port, sent.sent, bytes.size(), std::strerror(sent.error));
        return 1;
    }
    progress.finish();
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    end_when_out_of_memory(program);
    return send(argc, argv);
}
