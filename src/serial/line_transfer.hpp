// Sending a stream on a line and capturing one from it: when to wait, when
// to give up, what counts as progress, and what to report. The same code on
// every platform, over the primitives of line_port.hpp.
#pragma once

#include "serial/line_port.hpp"

#include <functional>
#include <vector>

namespace freqimg {

struct send_outcome {
    std::size_t sent = 0; // bytes that have left the port
    fault failure;        // the system's reason, when the line failed
    bool timed_out = false;
};

// Writes `bytes` to `line` at `baud` (above 0) and waits until they have
// left the port, not merely reached the system: the driver's drain, and
// where the driver cannot see the adapter's FIFO, the guard after it
// (fifo_guard), with the line kept as it is. Gives up, timed out, when the
// system takes no byte towards the wire for `timeout_ms` (each byte it
// takes starts the time again), and on a failure of the line; then what is
// still queued is discarded. Calls `progress` with the count of bytes that
// have left each time it grows: a byte the system or the adapter may still
// hold is never counted.
send_outcome send_stream(line_port &line, std::span<const unsigned char> bytes, unsigned long baud,
                         unsigned timeout_ms, const std::function<void(std::size_t)> &progress);

// How long a send keeps the line as it is after the driver's drain where
// the driver cannot see `fifo_bytes` the adapter may still hold: those
// bytes, the shift register and one byte more at `baud`, and 10 ms for the
// bus. About 1.08 s for 1024 bytes at 9600 baud.
std::chrono::microseconds fifo_guard(std::size_t fifo_bytes, unsigned long baud);

// Bits a byte takes on the line: start bit, 8 data bits, stop bit.
inline constexpr unsigned bits_per_byte = 10;

// The time limit of a send of `bytes` at `baud` when none is given: five
// times their time on the line, in whole seconds, and never under 5 s.
unsigned default_send_timeout_ms(std::size_t bytes, unsigned long baud);

// The one line that says how a send that did not finish ended, naming the
// line `name`: "timed out after 16 s with 0 of 2944 bytes sent", "write
// error with 1380 of 2944 bytes sent: Input/output error". Empty when the
// send finished.
fault send_failure(const char *name, const send_outcome &outcome, std::size_t total,
                   unsigned timeout_ms);

// How much noise a capture skips, looking for the first frame header,
// before it gives up.
inline constexpr std::size_t capture_noise_limit = 1 << 20;

struct capture_outcome {
    std::size_t skipped = 0; // bytes before the first frame header
    fault failure;           // the system's reason, when the line failed
    bool hung_up = false;    // the other end went before the stream was whole
};

// Reads one stream from `line` into `bytes`: from the first frame header on
// (what came before it, noise when a cable is plugged in, is skipped and
// counted), at most `stream_bytes`, so that nothing after the stream is
// taken from the line. Stops there, when the line hangs up, or once data
// has begun and the line has then been silent for `silence_ms`; before the
// first byte it waits as long as it takes. Calls `progress` with the count
// of stream bytes as it grows.
capture_outcome capture_stream(line_port &line, std::size_t stream_bytes, unsigned silence_ms,
                               std::vector<unsigned char> &bytes,
                               const std::function<void(std::size_t)> &progress);

} // namespace freqimg
