#include "serial/line_transfer.hpp"

#include "image/image_frame.hpp"

#include <algorithm>
#include <cmath>

namespace freqimg {
namespace {

// How often a wait wakes to look at the queue: the progress a user sees.
// The end of a send never waits for it: the drain returns as it happens.
constexpr unsigned tick_ms = 100;

unsigned milliseconds_between(line_port::clock::time_point from, line_port::clock::time_point to) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
    return static_cast<unsigned>(std::max<decltype(ms)>(ms, 0));
}

// Where a frame header can begin in `bytes`: the first place that holds a
// whole header, or a part of one that the next bytes may finish. Returns
// bytes.size() when there is none.
std::size_t header_start(std::span<const unsigned char> bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::size_t n = std::min(frame_header.size(), bytes.size() - i);
        if (std::equal(frame_header.begin(), frame_header.begin() + static_cast<std::ptrdiff_t>(n),
                       bytes.begin() + static_cast<std::ptrdiff_t>(i)))
            return i;
    }
    return bytes.size();
}

// The time a byte takes on the line at `baud`, rounded up.
std::chrono::microseconds byte_time(unsigned long baud) {
    return std::chrono::microseconds((bits_per_byte * 1'000'000ULL + baud - 1) / baud);
}

// Keeps the line as it is until the `held` bytes the adapter may still
// hold after the drain can have gone, and counts them as they can have:
// one a byte time. Nor can the last byte have gone sooner than a byte time
// for every byte after the first was written, whatever the adapter's FIFO.
template <typename Show>
void keep_while_fifo_empties(line_port &line, std::size_t total, std::size_t held,
                             unsigned long baud, line_port::clock::time_point start, Show &show) {
    using std::chrono::ceil;
    using us = std::chrono::microseconds;
    const us tc = byte_time(baud);
    const auto drained = line.now();
    const auto end = std::max(drained + fifo_guard(held, baud), start + fifo_guard(total, baud));
    const auto gone = end - fifo_guard(0, baud);
    for (auto now = drained; now < end; now = line.now()) {
        // Bytes that may still be ahead of the wire: a part of a byte time
        // counts whole.
        auto ahead =
            now < gone ? static_cast<std::size_t>((ceil<us>(gone - now) + tc - us(1)) / tc) : 0U;
        show(total - std::min(held, ahead));
        line.hold(std::min(us(std::chrono::milliseconds(tick_ms)), ceil<us>(end - now)));
    }
}

} // namespace

send_outcome send_stream(line_port &line, std::span<const unsigned char> bytes, unsigned long baud,
                         unsigned timeout_ms, const std::function<void(std::size_t)> &progress) {
    send_outcome out;
    const transmit_fifo fifo = line.adapter_fifo();
    const auto start = line.now();
    std::size_t written = 0, taken = 0;
    auto last_taken = start;
    auto show = [&](std::size_t gone) {
        if (gone > out.sent) {
            out.sent = gone;
            progress(gone);
        }
    };
    // What the system has taken from its queue towards the wire; of that,
    // the adapter may still hold what its driver cannot see.
    auto look_at_queue = [&] {
        line_io queued = line.queued();
        if (queued.failure)
            return queued.failure;
        std::size_t now_taken = written - std::min(written, queued.count);
        if (now_taken > taken) {
            taken = now_taken;
            last_taken = line.now();
        }
        show(taken - std::min(taken, fifo.unseen));
        return fault{};
    };
    auto time_left = [&] {
        unsigned quiet = milliseconds_between(last_taken, line.now());
        return quiet >= timeout_ms ? 0 : timeout_ms - quiet;
    };

    while (written < bytes.size()) {
        line_io w = line.write_some(bytes.subspan(written));
        written += w.count;
        // After a failure the queue may still say what went out.
        fault queue_fault = look_at_queue();
        if (w.failure || queue_fault) {
            out.failure = w.failure ? w.failure : queue_fault;
            break;
        }
        if (written == bytes.size())
            break;
        unsigned left = time_left();
        if (left == 0) {
            out.timed_out = true;
            break;
        }
        line.wait_writable(std::min(tick_ms, left));
    }
    while (!out.failure && !out.timed_out) {
        unsigned left = time_left();
        if (left == 0) {
            out.timed_out = true;
            break;
        }
        line_io drained = line.wait_drained(std::min(tick_ms, left));
        if (drained.failure) {
            out.failure = drained.failure;
            (void)look_at_queue(); // what went out before it failed
            break;
        }
        if (drained.count > 0) {
            if (!fifo.drained_by_driver)
                keep_while_fifo_empties(line, bytes.size(), std::min(bytes.size(), fifo.unseen),
                                        baud, start, show);
            show(bytes.size());
            return out;
        }
        out.failure = look_at_queue();
    }
    // What has not gone out must not go out later, after the send failed.
    line.discard_output();
    return out;
}

std::chrono::microseconds fifo_guard(std::size_t fifo_bytes, unsigned long baud) {
    return (fifo_bytes + 2) * byte_time(baud) + std::chrono::milliseconds(10);
}

unsigned default_send_timeout_ms(std::size_t bytes, unsigned long baud) {
    double line_seconds = static_cast<double>(bytes * bits_per_byte) / static_cast<double>(baud);
    auto seconds = static_cast<unsigned>(std::ceil(5 * line_seconds));
    return 1000 * std::max(5U, seconds);
}

fault send_failure(const char *name, const send_outcome &outcome, std::size_t total,
                   unsigned timeout_ms) {
    if (outcome.timed_out)
        return make_fault("%s: timed out after %g s with %zu of %zu bytes sent", name,
                          timeout_ms / 1000.0, outcome.sent, total);
    if (outcome.failure)
        return make_fault("%s: write error with %zu of %zu bytes sent: %s", name, outcome.sent,
                          total, outcome.failure.c_str());
    return {};
}

capture_outcome capture_stream(line_port &line, std::size_t stream_bytes, unsigned silence_ms,
                               std::vector<unsigned char> &bytes,
                               const std::function<void(std::size_t)> &progress) {
    capture_outcome out;
    bytes.clear();
    bool begun = false, found = false;
    while (bytes.size() < stream_bytes && out.skipped < capture_noise_limit) {
        // `bytes` always starts where the stream may begin, so no read takes
        // more than the stream can still hold.
        std::size_t held = bytes.size();
        bytes.resize(stream_bytes);
        line_io got = line.read_some(std::span(bytes).subspan(held),
                                     begun ? static_cast<int>(silence_ms) : -1);
        bytes.resize(held + got.count);
        if (got.failure) {
            out.failure = got.failure;
            break;
        }
        if (got.count == 0) {
            out.hung_up = got.hung_up;
            if (got.hung_up || begun)
                break; // hung up, or silent once data had begun: the stream is over
            continue;
        }
        begun = true;
        if (!found) {
            std::size_t start = header_start(bytes);
            out.skipped += start;
            bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(start));
            found = bytes.size() >= frame_header.size();
        }
        if (found)
            progress(bytes.size());
    }
    return out;
}

} // namespace freqimg
