// The send and capture policies on a model UART line, for what a
// pseudo-terminal cannot show: the line's own speed, a line the far end
// stops for a while, a line that fails part way.
#include "serial/line_transfer.hpp"
#include "support/model_line.hpp"

#include <gtest/gtest.h>

namespace freqimg_test {
namespace {

using namespace freqimg;
using ms = std::chrono::milliseconds;
using sec = std::chrono::seconds;

const std::vector<unsigned char> stream(2944, 'x');

struct shown_progress {
    std::size_t last = 0, reports = 0;
};

// Sends the stream on `line`, checking on every report of progress that it
// only ever grows and never counts a byte still queued.
send_outcome send_checked(model_line &line, unsigned long baud, unsigned timeout_ms,
                          shown_progress &shown) {
    shown = {};
    return send_stream(line, stream, baud, timeout_ms, [&](std::size_t n) {
        EXPECT_LE(n, line.left()) << "a byte counted before it left";
        EXPECT_GT(n, shown.last);
        shown = {n, shown.reports + 1};
    });
}

TEST(send_stream, gives_up_after_five_times_the_time_on_the_line_and_at_least_5_s) {
    struct row {
        unsigned long baud;
        unsigned ms;
    } const rows[] = {{9600, 16000}, {1200, 123000}, {115200, 5000}, {4800, 31000}};
    for (const row &r : rows)
        EXPECT_EQ(default_send_timeout_ms(2944, r.baud), r.ms) << r.baud;
}

TEST(send_stream, ends_the_moment_the_last_byte_has_left) {
    struct row {
        unsigned long baud;
        std::size_t queue; // the system's buffer: a kernel's, or a bare 16-byte FIFO
    } const rows[] = {{9600, 4096}, {9600, 16}, {1200, 64}, {115200, 4096}};
    for (const row &r : rows) {
        model_line line(r.baud, r.queue);
        shown_progress shown;
        send_outcome out = send_checked(line, r.baud, 5000, shown);
        EXPECT_FALSE(out.failure) << r.baud;
        EXPECT_FALSE(out.timed_out) << r.baud;
        EXPECT_EQ(out.sent, stream.size());
        EXPECT_EQ(shown.last, stream.size());
        // The count a user sees moves on about every tenth of a second.
        auto line_ms = std::chrono::duration_cast<ms>(line.last_left_at()).count();
        EXPECT_GE(shown.reports, static_cast<std::size_t>(line_ms / 200)) << r.baud;
        EXPECT_EQ(line.left(), stream.size());
        EXPECT_LE(line.time() - line.last_left_at(), ms(5)) << r.baud << " baud, " << r.queue;
        EXPECT_EQ(send_failure("PORT", out, stream.size(), 5000).c_str(), std::string());
    }
}

TEST(send_stream, lets_go_of_the_line_only_once_the_adapter_has_sent_its_last_byte) {
    // The line's settings go back and the line is let go as the send
    // returns: by then the last stop bit must be out, whatever the
    // adapter's FIFO holds and whether its driver waits for it. A driver
    // that waits costs nothing more; one that does not costs the guard.
    using driver = model_line::driver;
    for (std::size_t fifo : {0U, 128U, 256U, 1024U})
        for (driver kind : {driver::waits_for_fifo, driver::blind_to_fifo}) {
            const bool waits = kind == driver::waits_for_fifo;
            model_line line(9600, 4096, fifo, kind);
            shown_progress shown;
            send_outcome out = send_checked(line, 9600, 16000, shown);
            EXPECT_EQ(out.sent, stream.size());
            EXPECT_EQ(shown.last, stream.size());
            EXPECT_EQ(line.left(), stream.size()) << fifo << " bytes, driver waits: " << waits;
            auto after = line.time() - line.last_left_at();
            EXPECT_LE(after, waits ? ms(5) : fifo_guard(largest_unseen_fifo, 9600)) << fifo;
            EXPECT_EQ(line.held_for() > ms(0), !waits) << fifo;
        }
    EXPECT_EQ(std::chrono::duration_cast<ms>(fifo_guard(largest_unseen_fifo, 9600)), ms(1079));
    // Nor does a FIFO larger than any the guard allows for let a send end
    // before its bytes can have left at the line's speed.
    model_line larger(9600, 4096, 4096, driver::blind_to_fifo);
    EXPECT_EQ(send_stream(larger, stream, 9600, 16000, [](std::size_t) {}).sent, stream.size());
    EXPECT_EQ(larger.left(), stream.size());
    // A byte's time is rounded up, never down: 10 us at 1 Mbaud, 1042 at 9600.
    EXPECT_EQ(fifo_guard(0, 1'000'000), std::chrono::microseconds(10'020));
    EXPECT_EQ(fifo_guard(0, 9600), std::chrono::microseconds(12'084));
}

TEST(send_stream, time_limit_counts_from_the_last_byte_that_left) {
    // The far end stops the line one second in; the limit is two seconds
    // of no progress, whatever went before.
    struct row {
        std::chrono::microseconds stopped;
        bool times_out;
    } const rows[] = {{ms(1500), false}, {ms(2500), true}};
    for (const row &r : rows) {
        model_line line(9600, 4096);
        line.stall(sec(1), r.stopped);
        shown_progress shown;
        send_outcome out = send_checked(line, 9600, 2000, shown);
        EXPECT_EQ(out.timed_out, r.times_out);
        if (!r.times_out) {
            EXPECT_EQ(out.sent, stream.size());
            continue;
        }
        // Given up two seconds after the last byte left, saying how many
        // did, and what was queued is thrown away.
        EXPECT_GT(out.sent, 0U);
        EXPECT_EQ(out.sent, line.left());
        EXPECT_LE(line.time() - line.last_left_at() - sec(2), ms(100));
        EXPECT_EQ(line.discarded(), stream.size() - line.left());
        EXPECT_STREQ(
            send_failure("PORT", out, stream.size(), 2000).c_str(),
            ("PORT: timed out after 2 s with " + std::to_string(out.sent) + " of 2944 bytes sent")
                .c_str());
    }
}

TEST(send_stream, says_how_much_left_before_the_line_failed) {
    // Whether the failure shows in a write (a small queue) or in the drain,
    // and a write that fails on a line that goes on.
    struct row {
        std::size_t queue;
        bool line_goes_on;
    } const rows[] = {{4096, false}, {16, false}, {16, true}};
    for (const row &r : rows) {
        const std::size_t queue = r.queue;
        model_line line(9600, queue);
        line.fail_after(1380, r.line_goes_on);
        shown_progress shown;
        send_outcome out = send_checked(line, 9600, 5000, shown);
        EXPECT_FALSE(out.timed_out);
        EXPECT_EQ(out.sent, 1380U) << queue;
        EXPECT_GT(line.discarded(), 0U) << queue;
        EXPECT_STREQ(send_failure("PORT", out, stream.size(), 5000).c_str(),
                     "PORT: write error with 1380 of 2944 bytes sent: Input/output error");
    }
}

// A stand-in stream: a frame header, then bytes no header begins with.
const std::string header = "\xFE\xFE\xEE\xEF\xE4";
const std::string small_stream = header + std::string(95, 'x');

TEST(capture_stream, takes_one_stream_from_its_first_frame_header) {
    struct row {
        const char *what;
        std::vector<std::pair<std::chrono::microseconds, std::string>> input;
        std::chrono::microseconds hang_up;
        std::string stream;
        std::size_t skipped;
        std::string unread;
    } const rows[] = {
        {"a whole stream, then more",
         {{sec(0), small_stream + "more"}},
         std::chrono::hours(1),
         small_stream,
         0,
         "more"},
        {"noise that ends in part of a header",
         {{sec(0), "\x01\xFF\xFE"}, {ms(10), small_stream}},
         std::chrono::hours(1),
         small_stream,
         3,
         ""},
        {"a header split between reads",
         {{sec(0), "\xFE\xFE"}, {ms(5), small_stream.substr(2)}},
         std::chrono::hours(1),
         small_stream,
         0,
         ""},
        {"the first byte after a long wait",
         {{sec(100), small_stream}},
         std::chrono::hours(1),
         small_stream,
         0,
         ""},
        {"silence part way",
         {{sec(0), small_stream.substr(0, 40)}, {sec(2), "late"}},
         std::chrono::hours(1),
         small_stream.substr(0, 40),
         0,
         "late"},
        {"noise, then silence",
         {{sec(0), "noise"}, {sec(2), small_stream}},
         std::chrono::hours(1),
         "",
         5,
         small_stream},
        {"more noise than the 1 MiB it looks through",
         {{sec(0), std::string(1 << 20, 'n')}, {sec(0), small_stream}},
         std::chrono::hours(1),
         "",
         1 << 20,
         small_stream},
        // A wait that ends with nothing (a signal) starts no silence.
        {"a wake with nothing, then the first byte much later",
         {{sec(1), ""}, {sec(100), small_stream}},
         std::chrono::hours(1),
         small_stream,
         0,
         ""},
        {"a hang-up part way",
         {{sec(0), small_stream.substr(0, 60)}},
         ms(100),
         small_stream.substr(0, 60),
         0,
         ""},
        {"a hang-up before the first byte", {}, ms(0), "", 0, ""},
    };
    for (const row &r : rows) {
        model_line line(9600, 4096);
        for (const auto &[at, bytes] : r.input)
            line.arrive(at, bytes);
        line.hang_up_at(r.hang_up);
        std::vector<unsigned char> got;
        std::size_t shown = 0;
        capture_outcome out =
            capture_stream(line, small_stream.size(), 500, got, [&](std::size_t n) { shown = n; });
        EXPECT_FALSE(out.failure) << r.what;
        EXPECT_EQ(std::string(got.begin(), got.end()), r.stream) << r.what;
        EXPECT_EQ(out.skipped, r.skipped) << r.what;
        EXPECT_EQ(line.unread(), r.unread) << r.what;
        EXPECT_EQ(shown, r.stream.size()) << r.what;
        EXPECT_EQ(out.hung_up, r.hang_up < std::chrono::hours(1)) << r.what;
    }
}

} // namespace
} // namespace freqimg_test
