// freqimg-send: sends an upload stream over a serial line, exactly the bytes
// of a stream the decoder accepts, and waits until they have left the port.
//
// PORT is checked first, without opening it; then the whole input is read
// and checked, and only then is the port opened, so a faulty stream never
// reaches the line. The line is borrowed (exclusive, raw 8N1, no flow
// control) and put back as it was on every way out.

#include "common/command_line.hpp"
#include "common/report.hpp"
#include "image/image_decode.hpp"
#include "platform/ending_guard.hpp"
#include "platform/file_ops.hpp"
#include "serial/line_transfer.hpp"
#include "serial/port_list.hpp"
#include "serial/serial_line.hpp"
#include "stream/stream_input.hpp"
#include "stream/transfer_progress.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace freqimg;

constexpr unsigned long default_speed = 9600;

constexpr const char *usage_text =
    "Usage: freqimg-send [--speed BAUD] [--timeout SECONDS] PORT [FILE]\n"
    "  or:  freqimg-send --list-ports\n"
    "Check an upload stream made by freqimg, then send it over the serial\n"
    "line PORT and wait until it has left the port.\n"
    "With no FILE, or when FILE is -, read standard input:\n"
    "  freqimg | freqimg-send /dev/ttyUSB0\n"
    "\n"
    "  --speed BAUD       line speed (default 9600): 8 data bits, no parity,\n"
    "                     one stop bit, no flow control\n"
    "  --timeout SECONDS  give up when the line takes nothing for this long\n"
    "                     (default: five times the stream's time on the\n"
    "                     line, at least 5; at most 86400)\n"
    "  --list-ports       list the serial ports a cable could be on, and exit\n"
    "  --help             print this help and exit\n"
    "  --version          print the version and exit\n"
    "\n"
    "Exit status: 0 when the whole stream has left the port, 1 for a faulty\n"
    "stream or a failure of the port or the line, 2 for a usage error.\n";

// Decimal digits only: no sign, no blank.
bool parse_speed(const char *text, unsigned long &speed) {
    const char *end = text + std::strlen(text);
    auto [stop, error] = std::from_chars(text, end, speed);
    return error == std::errc() && stop == end && is_line_speed(speed);
}

// Lists the ports, or says in one line that there are none and what to
// look at.
int list_serial_ports() {
    std::vector<serial_port> ports = list_ports();
    if (ports.empty()) {
        return report_error(
            formatted("no serial ports found: is the cable plugged in? %s", no_ports_hint));
    }
    return write_output(port_list_text(ports));
}

int send(int argc, char **argv) {
    enum { speed_option, timeout_option, list_option };
    constexpr long_option options[] = {{"speed", true}, {"timeout", true}, {"list-ports", false}};
    bool list = false;
    unsigned long speed = default_speed;
    unsigned timeout_ms = 0;
    options_read read =
        read_options(usage_text, argc, argv, options, [&](std::size_t o, const char *value) {
            if (o == speed_option && !parse_speed(value, speed)) {
                usage_error("invalid speed", value);
                return false;
            }
            if (o == timeout_option && !parse_seconds(value, timeout_ms)) {
                usage_error("invalid timeout", value);
                return false;
            }
            list = list || o == list_option;
            return true;
        });
    if (read.end_status)
        return *read.end_status;
    const int first = read.first_operand;
    if (list && first < argc)
        return usage_error("extra operand", argv[first]);
    if (list)
        return list_serial_ports();
    if (first >= argc)
        return usage_error("missing port operand");
    if (argc - first > 2)
        return usage_error("extra operand", argv[first + 2]);
    const char *port = argv[first];
    const char *path = argv[first + 1]; // argv[argc] is null: standard input
    if (timeout_ms == 0)
        timeout_ms = default_send_timeout_ms(stream_size, speed);

    // A PORT that is no device (the operands the wrong way round) must not
    // leave the line named as FILE held while its input is awaited.
    if (fault f = check_port(port))
        return report_error(f);
    // `freqimg-send PORT PORT` would wait for ever for a stream from the
    // line it is to send on.
    if (same_device(port, is_standard_input(path) ? nullptr : path))
        return report_error(line_messages::the_port_itself(stream_input_name(path).c_str()));
    // Nothing goes out before the whole stream has been read and checked.
    transfer_progress shown(stderr, is_terminal(standard_error),
                            transfer_progress::direction::receiving, 0);
    stream_input in = read_stream_input(path, timeout_ms, shown);
    if (in.noise)
        report_warning(in.noise);
    if (in.failure)
        return report_error(in.failure);
    decoded_stream stream;
    if (report_errors(check_stream_input(path, in.bytes, stream)) != 0)
        return 1;
    if (const char *how = differs_from_freqimg(stream))
        report_warning({stream_input_name(path), formatted("%s; sending it as it stands", how)});
    const std::vector<unsigned char> &bytes = in.bytes;

    line_refusal why;
    std::unique_ptr<serial_line> line = serial_line::borrow(port, line_use::send, speed, why);
    if (!line)
        return report_error(why.message);
    transfer_progress progress(stderr, is_terminal(standard_error),
                               transfer_progress::direction::sending, speed);
    send_outcome sent = send_stream(*line, bytes, speed, timeout_ms,
                                    [&progress](std::size_t n) { progress.update(n); });
    line.reset(); // the line is put back before anything is said
    if (fault f = send_failure(quoted_name(port).c_str(), sent, bytes.size(), timeout_ms)) {
        progress.end_line();
        return report_error(f);
    }
    progress.finish(sent.sent);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    set_program_name("freqimg-send");
    prepare_process();
    end_when_out_of_memory(run_ending_actions);
    return send(argc, argv);
}
