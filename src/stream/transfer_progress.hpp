// The one line that shows a transfer on a serial line as it goes, updated
// in place on a terminal: the bytes and frames that have left the port, or
// that have arrived, then a last line that says what went.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace freqimg {

class transfer_progress {
  public:
    enum class direction { sending, receiving };

    // Shows nothing unless `shown`. `baud` 0: the line's speed is not known.
    transfer_progress(std::FILE *out, bool shown, direction way, unsigned long baud);

    // Shows `done` of the stream's bytes; at most ten times a second, but
    // the whole stream always.
    void update(std::size_t done);

    // Shows `text` for a transfer that has not begun ("waiting for...").
    void note(const char *text);

    // Ends the display with the last line: "sent 2944 bytes, 64 frames, in
    // 3.1 s at 9600 baud", "received 2944 bytes, 64 frames, in 3.1 s".
    void finish(std::size_t done);

    // Ends the display so that a message starts on a line of its own.
    void end_line();

    // The line update shows for `done` bytes ("sending: 1380 of 2944
    // bytes, 30 of 64 frames, 46%, 1.7 s left"), and the last line finish
    // shows, timed from the start: for a display of another kind (the page).
    std::string text(std::size_t done) const;
    std::string last_text(std::size_t done) const;

  private:
    using clock = std::chrono::steady_clock;
    void show(const std::string &text);

    std::FILE *out_;
    bool shown_;
    direction way_;
    unsigned long baud_;
    std::size_t width_ = 0;
    clock::time_point start_ = clock::now(), last_{};
};

} // namespace freqimg
