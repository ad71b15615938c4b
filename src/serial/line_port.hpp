// What sending a stream on a line and capturing one from it need of the
// line: a few primitives that each platform gives (serial_line.hpp) and that
// a test can give from a model of a UART, so that the policies above them
// (time limits, progress, the end of a send) are one portable piece of code.
//
// Three buffers stand between a write and the wire: the system's own (what
// queued() counts), the adapter's transmit FIFO, and the shift register.
// Most USB adapters' drivers count and drain only the first: their "empty"
// means the chip took the bytes, and up to a FIFO's worth is still being
// clocked out. adapter_fifo() says which kind of driver a line has.
#pragma once

#include "common/fault.hpp"

#include <chrono>
#include <cstddef>
#include <span>

namespace freqimg {

// The outcome of one primitive: a count, or the system's reason for a
// failure of the line ("Input/output error").
struct line_io {
    std::size_t count = 0;
    fault failure;
    bool hung_up = false; // the other end is gone (reading only)

    static line_io of(std::size_t count) {
        line_io io;
        io.count = count;
        return io;
    }
    static line_io failed(const fault &why) {
        line_io io;
        io.failure = why;
        return io;
    }
    static line_io hang_up() {
        line_io io;
        io.hung_up = true;
        return io;
    }
};

// The most a USB adapter's transmit FIFO holds that its driver may not see
// or wait for: the FT232H's 1 KiB, the largest of the adapters people
// program radios with (FT232R 128 bytes, PL2303 256, FT231X 512, CP2102
// 640; CH340 gives no size).
inline constexpr std::size_t largest_unseen_fifo = 1024;

// What the line's driver can see of the adapter's transmit FIFO.
struct transmit_fifo {
    // The most bytes the adapter may hold that queued() does not count: 0
    // where there is no adapter (a pseudo-terminal).
    std::size_t unseen = 0;
    // Whether wait_drained waits for those bytes too (the driver asks the
    // chip whether its transmitter is empty).
    bool drained_by_driver = true;
};

class line_port {
  public:
    using clock = std::chrono::steady_clock;

    line_port() = default;
    line_port(const line_port &) = delete;
    line_port &operator=(const line_port &) = delete;
    virtual ~line_port() = default;

    // The time the policies measure their limits by.
    virtual clock::time_point now() { return clock::now(); }

    // Writes as much of `bytes` as the line takes now, without waiting:
    // count 0 when it is full.
    virtual line_io write_some(std::span<const unsigned char> bytes) = 0;

    // Returns when the line can take more, or after `ms`.
    virtual void wait_writable(unsigned ms) = 0;

    // Bytes written that the system still holds; 0 where the driver cannot
    // tell.
    virtual line_io queued() = 0;

    // The driver's own drain, one wait for which the policy looks at in
    // slices: waits up to `ms` for it, and returns as soon as it has ended
    // (count 1), or when the time ran out (count 0; the drain goes on, and
    // the next call waits for the same one).
    virtual line_io wait_drained(unsigned ms) = 0;

    // What the driver sees of the adapter's transmit FIFO; the same for as
    // long as the line is held.
    virtual transmit_fifo adapter_fifo() = 0;

    // Keeps the line exactly as it is for `time`: no settings change, no
    // flush, no close, so that what the adapter still holds goes out as it
    // was sent.
    virtual void hold(std::chrono::microseconds time) = 0;

    // Throws away what is still queued, so that it never goes out later.
    virtual void discard_output() = 0;

    // Reads what has arrived into `buffer`, waiting up to `ms` for it (for
    // ever when `ms` is negative): count 0 when nothing came in time.
    virtual line_io read_some(std::span<unsigned char> buffer, int ms) = 0;
};

} // namespace freqimg
