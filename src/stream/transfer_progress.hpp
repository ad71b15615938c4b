// What a transfer on a serial line says of itself as it goes: the bytes and
// frames that have left the port, or that have arrived, then a last line
// that says what went. transfer_text is the words alone, for any display
// (the page's); transfer_progress shows them on a terminal, one line
// updated in place.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace freqimg {

struct transfer_text {
    enum class direction { sending, receiving };
    direction way = direction::sending;
    unsigned long baud = 0; // 0: the line's speed is not known

    // The line for `done` bytes: "sending: 1380 of 2944 bytes, 30 of 64
    // frames, 46%, 1.6 s left" (the time left only where the speed is
    // known).
    std::string progress(std::size_t done) const;

    // The last line, for `done` bytes in `seconds`: "sent 2944 bytes, 64
    // frames, in 3.1 s at 9600 baud", "received 2944 bytes, 64 frames, in
    // 3.1 s".
    std::string last(std::size_t done, double seconds) const;
};

class transfer_progress {
  public:
    using direction = transfer_text::direction;

    // Shows nothing unless `shown`. `baud` 0: the line's speed is not known.
    transfer_progress(std::FILE *out, bool shown, direction way, unsigned long baud);

    // Shows `done` of the stream's bytes; at most ten times a second, but
    // the whole stream always.
    void update(std::size_t done);

    // Shows `text` for a transfer that has not begun ("waiting for...").
    void note(const char *text);

    // Ends the display with the last line, timed from the start.
    void finish(std::size_t done);

    // Ends the display so that a message starts on a line of its own.
    void end_line();

  private:
    using clock = std::chrono::steady_clock;
    void show(const std::string &text);

    std::FILE *out_;
    bool shown_;
    transfer_text words_;
    std::size_t width_ = 0;
    clock::time_point start_ = clock::now(), last_{};
};

} // namespace freqimg
