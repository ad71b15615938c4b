// A serial line borrowed for one job, the way serial terminal programs
// borrow one: opened without waiting on carrier and without becoming the
// controlling terminal, held exclusively, set to raw 8 data bits, no parity,
// one stop bit and no flow control, and put back exactly as it was on every
// way out: a return, a failure, and SIGINT, SIGTERM or SIGHUP. One line is
// borrowed at a time.
//
// Nothing here names a platform type: serial_line_posix.cpp implements it
// with termios, and another platform's implementation can sit beside it
// without touching the callers.
#pragma once

#include "fault.hpp"

#include <cstddef>
#include <functional>
#include <span>

namespace freqimg {

// Returns true when this platform's lines can be set to `baud`.
bool is_line_speed(unsigned long baud);

// Opens `path` as a line must be opened: without waiting on carrier and
// without becoming the controlling terminal. Returns a descriptor for
// borrow_line, or -1 with errno set: ENOTTY for a file that is no device,
// EBUSY for a line another program holds exclusively.
int open_line(const char *path);

// Borrows the terminal device open on `fd`, named `name` in faults, at
// `baud` (0 keeps the line's speed). Takes exclusive use of it (the kernel's
// exclusive mode and an advisory lock), saves its settings and sets it raw;
// SIGINT, SIGTERM and SIGHUP then put it back before they end the process.
// The process's own controlling terminal (a user typing) keeps its
// interrupt keys and is not taken exclusively. With `owned`, `fd` is closed
// when the line is returned, and on a fault. Faults: "NAME: not a serial
// line", "NAME: in use by another program", "NAME: cannot set up: REASON";
// on a fault the line is left as it was.
fault borrow_line(int fd, const char *name, unsigned long baud, bool owned);

// Puts the saved settings back, lets go of the line and closes it if
// owned. Does nothing when no line is borrowed. A signal that ends the
// process puts the line back too, and discards what is still queued.
void return_line();

struct send_outcome {
    std::size_t sent = 0; // bytes that have left the port
    int error = 0;        // errno of a write that failed, or 0
    bool timed_out = false;
};

// Writes `bytes` to the borrowed line and waits until they have left the
// port, not merely reached the kernel. Stops, with timed_out, when no byte
// leaves for `timeout_ms`, and on a write error; then what is still queued
// is discarded. Calls `progress` with the count of bytes that have left, as
// it grows.
send_outcome send_on_line(std::span<const unsigned char> bytes, unsigned timeout_ms,
                          const std::function<void(std::size_t)> &progress);

struct capture_outcome {
    std::size_t size = 0; // bytes read into the buffer
    int error = 0;        // errno of a read that failed, or 0
};

// Reads from the borrowed line into `buffer` until it is full, the line
// hangs up, or, once data has begun, the line is silent for `silence_ms`.
// Before the first byte it waits as long as it takes.
capture_outcome capture_from_line(std::span<unsigned char> buffer, unsigned silence_ms);

} // namespace freqimg
