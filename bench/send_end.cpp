// How soon a send sees its end: the send policy over a line that sends in
// real time at 9600 baud (ten bits a byte, behind a 4096-byte queue and an
// adapter's FIFO of 128 bytes) and drains through the same waiting thread
// the POSIX line uses, once with a driver that waits for the adapter's FIFO
// and once with one that does not. Prints how long after the last stop bit
// the send returned, and the whole send's time over the line's own.
//
// usage: send_end [RUNS]

#include "serial/line_transfer.hpp"
#include "serial/timed_drain.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using namespace freqimg;
using clock_type = line_port::clock;

constexpr std::size_t adapter_fifo_bytes = 128;

class realtime_line final : public line_port {
  public:
    realtime_line(unsigned long baud, bool driver_waits)
        : byte_time_(std::chrono::nanoseconds(10'000'000'000LL / static_cast<long long>(baud))),
          driver_waits_(driver_waits) {}

    clock_type::time_point last_byte_leaves() const { return start_ + written_ * byte_time_; }

    line_io write_some(std::span<const unsigned char> bytes) override {
        if (written_ == 0)
            start_ = clock_type::now();
        std::size_t take = std::min(bytes.size(), 4096 - queued_now());
        written_ += take;
        return line_io::of(take);
    }
    void wait_writable(unsigned ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 1U)));
    }
    line_io queued() override { return line_io::of(queued_now()); }
    line_io wait_drained(unsigned ms) override {
        if (!drain_)
            drain_ = std::make_unique<timed_drain>([this] {
                auto fifo = static_cast<long long>(driver_waits_ ? 0 : adapter_fifo_bytes);
                std::this_thread::sleep_until(last_byte_leaves() - fifo * byte_time_);
                return fault{};
            });
        fault failure;
        return line_io::of(drain_->wait(ms, failure) ? 1 : 0);
    }
    transmit_fifo adapter_fifo() override { return {largest_unseen_fifo, driver_waits_}; }
    void hold(std::chrono::microseconds time) override { std::this_thread::sleep_for(time); }
    void discard_output() override {}
    line_io read_some(std::span<unsigned char>, int) override { return line_io::of(0); }

  private:
    // What the system holds: what has not left and is not in the FIFO.
    std::size_t queued_now() const {
        if (written_ == 0)
            return 0;
        auto gone = static_cast<std::size_t>((clock_type::now() - start_) / byte_time_);
        std::size_t unsent = written_ - std::min(written_, gone);
        return unsent - std::min(unsent, adapter_fifo_bytes);
    }

    std::chrono::nanoseconds byte_time_;
    bool driver_waits_;
    clock_type::time_point start_{};
    std::size_t written_ = 0;
    std::unique_ptr<timed_drain> drain_;
};

} // namespace

int main(int argc, char **argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const std::vector<unsigned char> stream(2944, 'x');
    for (bool driver_waits : {true, false}) {
        std::vector<double> late_ms, ratio;
        for (int n = 0; n < runs; ++n) {
            realtime_line line(9600, driver_waits);
            auto start = clock_type::now();
            send_outcome out = send_stream(line, stream, 9600, 16000, [](std::size_t) {});
            auto end = clock_type::now();
            if (out.sent != stream.size()) {
                std::fprintf(stderr, "send_end: the send did not finish\n");
                return 1;
            }
            late_ms.push_back(
                std::chrono::duration<double, std::milli>(end - line.last_byte_leaves()).count());
            ratio.push_back(std::chrono::duration<double>(end - start).count() /
                            std::chrono::duration<double>(line.last_byte_leaves() - start).count());
        }
        std::sort(late_ms.begin(), late_ms.end());
        std::printf("send end at 9600 baud, %s: after the last stop bit at most %.2f ms (median "
                    "%.2f); the send over the line's time at most %.4f (%d runs)\n",
                    driver_waits ? "driver waits for the adapter's FIFO"
                                 : "driver blind to the adapter's FIFO",
                    late_ms.back(), late_ms[late_ms.size() / 2],
                    *std::max_element(ratio.begin(), ratio.end()), runs);
    }
    return 0;
}
