// What sending a stream on a line and capturing one from it need of the
// line: a few primitives that each platform gives (serial_line.hpp) and that
// a test can give from a model of a UART, so that the policies above them
// (time limits, progress, the end of a send) are one portable piece of code.
#pragma once

#include "fault.hpp"

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

    // Bytes written that have not yet left the port; 0 where the driver
    // cannot tell.
    virtual line_io queued() = 0;

    // Waits up to `ms` for every byte written to leave the port, and returns
    // as soon as they have: count 1 then, 0 when the time ran out.
    virtual line_io wait_drained(unsigned ms) = 0;

    // Throws away what is still queued, so that it never goes out later.
    virtual void discard_output() = 0;

    // Reads what has arrived into `buffer`, waiting up to `ms` for it (for
    // ever when `ms` is negative): count 0 when nothing came in time.
    virtual line_io read_some(std::span<unsigned char> buffer, int ms) = 0;
};

} // namespace freqimg
