// A model of a UART line for the transfer policies, showing what a
// pseudo-terminal cannot: bytes leave one at a time at the line's speed
// (ten bits each) from a queue of a set size, the far end can stop the
// line for a while, and the line can fail. Time is the model's own and
// moves only when the policy waits, so every run is exact and instant.
#pragma once

#include "line_port.hpp"

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace freqimg_test {

class model_line final : public freqimg::line_port {
  public:
    using us = std::chrono::microseconds;

    model_line(unsigned long baud, std::size_t capacity)
        : byte_time_(us(10'000'000 / baud)), capacity_(capacity) {}

    // The line takes nothing from `from` for `length`, as when the far end
    // stops it.
    void stall(us from, us length) { stalls_.push_back({from, from + length}); }
    // Writes fail once `count` bytes have left; the line stops too, unless
    // it goes on (a write refused, the rest still leaving).
    void fail_after(std::size_t count, bool line_goes_on = false) {
        fail_after_ = count;
        writes_only_ = line_goes_on;
    }
    // The driver cannot say what is queued.
    void hide_queue() { queue_hidden_ = true; }
    // Input that arrives at `at`; after the last, the line stays silent.
    void arrive(us at, const std::string &bytes) { input_.push_back({at, bytes}); }
    void hang_up_at(us at) { hang_up_ = at; }

    us time() const { return t_; }
    std::size_t left() const { return left_; }
    us last_left_at() const { return last_left_; }
    std::size_t discarded() const { return discarded_; }
    std::string unread() const {
        std::string rest;
        for (const auto &[at, bytes] : input_)
            rest += bytes;
        return rest;
    }

    clock::time_point now() override { return clock::time_point(t_); }

    freqimg::line_io write_some(std::span<const unsigned char> bytes) override {
        run_until(t_);
        if (write_fails())
            return freqimg::line_io::failed(freqimg::make_fault("Input/output error"));
        std::size_t take = std::min(bytes.size(), capacity_ - queued_);
        if (queued_ == 0 && take > 0)
            next_leave_ = after_stalls(t_) + byte_time_;
        queued_ += take;
        return freqimg::line_io::of(take);
    }

    void wait_writable(unsigned ms) override {
        us until = t_ + us(ms * 1000);
        if (queued_ < capacity_)
            return;
        run_until(std::min(until, next_leave_));
        t_ = std::min(until, next_leave_);
    }

    freqimg::line_io queued() override { return freqimg::line_io::of(queue_hidden_ ? 0 : queued_); }

    freqimg::line_io wait_drained(unsigned ms) override {
        us until = t_ + us(ms * 1000);
        run_until(until);
        if (failed()) {
            t_ = std::max(t_, last_left_);
            return freqimg::line_io::failed(freqimg::make_fault("Input/output error"));
        }
        if (queued_ == 0) {
            // Woken the moment the last byte has left.
            t_ = std::max(t_, last_left_);
            return freqimg::line_io::of(1);
        }
        t_ = until;
        return freqimg::line_io::of(0);
    }

    void discard_output() override {
        discarded_ += queued_;
        queued_ = 0;
    }

    freqimg::line_io read_some(std::span<unsigned char> buffer, int ms) override {
        us until = ms < 0 ? us::max() : t_ + us(ms * 1000LL);
        if (input_.empty() || input_.front().first > until) {
            if (hang_up_ <= until) {
                t_ = std::max(t_, hang_up_);
                return freqimg::line_io::hang_up();
            }
            t_ = until;
            return freqimg::line_io::of(0);
        }
        auto &[at, bytes] = input_.front();
        t_ = std::max(t_, at);
        std::size_t n = std::min(buffer.size(), bytes.size());
        std::copy_n(bytes.begin(), n, buffer.begin());
        bytes.erase(0, n);
        if (bytes.empty())
            input_.pop_front();
        return freqimg::line_io::of(n);
    }

  private:
    // The first moment from `at` on when the line is not stopped.
    us after_stalls(us at) const {
        for (const auto &[from, to] : stalls_)
            if (at >= from && at < to)
                at = to;
        return at;
    }

    // Lets the bytes go that leave by `until`: each starts when the one
    // before has left and the line is not stopped. A failed line sends no
    // more.
    void run_until(us until) {
        while (queued_ > 0 && next_leave_ <= until && !failed()) {
            --queued_;
            ++left_;
            last_left_ = next_leave_;
            next_leave_ = after_stalls(last_left_) + byte_time_;
        }
    }

    bool failed() const { return left_ >= fail_after_ && !writes_only_; }
    bool write_fails() const { return left_ >= fail_after_; }

    us t_{0};
    us byte_time_;
    std::size_t capacity_;
    std::size_t queued_ = 0, left_ = 0, discarded_ = 0;
    std::size_t fail_after_ = static_cast<std::size_t>(-1);
    bool queue_hidden_ = false, writes_only_ = false;
    us next_leave_{0}, last_left_{0};
    us hang_up_ = us::max();
    std::vector<std::pair<us, us>> stalls_;
    std::deque<std::pair<us, std::string>> input_;
};

} // namespace freqimg_test
