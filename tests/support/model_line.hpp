// A model of a UART line for the transfer policies, showing what a
// pseudo-terminal cannot: bytes leave one at a time at the line's speed
// (ten bits each) from the system's queue of a set size, through an
// adapter's FIFO that its driver may not see, the far end can stop the line
// for a while, and the line can fail. Time is the model's own and moves
// only when the policy waits, so every run is exact and instant.
#pragma once

#include "serial/line_port.hpp"

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace freqimg_test {

class model_line final : public freqimg::line_port {
  public:
    using us = std::chrono::microseconds;

    // What the driver makes of the adapter's FIFO.
    enum class driver {
        sees_all,       // no adapter between queue and wire (a UART's own queue)
        waits_for_fifo, // drains the FIFO too, but does not count it (ftdi_sio)
        blind_to_fifo,  // counts and drains only its own queue (ch341, pl2303)
    };

    model_line(unsigned long baud, std::size_t capacity, std::size_t fifo = 0,
               driver kind = driver::sees_all)
        : byte_time_(us(10'000'000 / baud)), capacity_(capacity), fifo_(fifo), kind_(kind) {}

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
    // How long the line was kept as it is after the drain.
    us held_for() const { return held_; }
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
        std::size_t take = std::min(bytes.size(), capacity_ - in_queue());
        if (unsent_ == 0 && take > 0)
            next_leave_ = after_stalls(t_) + byte_time_;
        unsent_ += take;
        return freqimg::line_io::of(take);
    }

    void wait_writable(unsigned ms) override {
        us until = t_ + us(ms * 1000);
        if (in_queue() < capacity_)
            return;
        run_until(std::min(until, next_leave_));
        t_ = std::min(until, next_leave_);
    }

    freqimg::line_io queued() override {
        return freqimg::line_io::of(queue_hidden_ ? 0 : in_queue());
    }

    // The driver's drain ends when its queue is empty, or, where it waits
    // for the adapter, when the last byte has left.
    freqimg::line_io wait_drained(unsigned ms) override {
        us until = t_ + us(ms * 1000);
        std::size_t ends_at = kind_ == driver::blind_to_fifo ? fifo_ : 0;
        while (unsent_ > ends_at && next_leave_ <= until && !failed())
            run_until(next_leave_);
        if (failed()) {
            t_ = std::max(t_, last_left_);
            return freqimg::line_io::failed(freqimg::make_fault("Input/output error"));
        }
        if (unsent_ <= ends_at) {
            // Woken the moment the drain ends.
            t_ = std::max(t_, last_left_);
            return freqimg::line_io::of(1);
        }
        t_ = until;
        return freqimg::line_io::of(0);
    }

    freqimg::transmit_fifo adapter_fifo() override {
        if (kind_ == driver::sees_all)
            return {0, true};
        return {freqimg::largest_unseen_fifo, kind_ == driver::waits_for_fifo};
    }

    void hold(us time) override {
        t_ += time;
        held_ += time;
        run_until(t_);
    }

    // What the system and the adapter still hold never goes out.
    void discard_output() override {
        discarded_ += unsent_;
        unsent_ = 0;
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
        while (unsent_ > 0 && next_leave_ <= until && !failed()) {
            --unsent_;
            ++left_;
            last_left_ = next_leave_;
            next_leave_ = after_stalls(last_left_) + byte_time_;
        }
    }

    // Bytes the system holds: what the adapter's FIFO has no room for.
    std::size_t in_queue() const { return unsent_ - std::min(unsent_, fifo_); }
    bool failed() const { return left_ >= fail_after_ && !writes_only_; }
    bool write_fails() const { return left_ >= fail_after_; }

    us t_{0};
    us byte_time_;
    std::size_t capacity_, fifo_;
    driver kind_;
    std::size_t unsent_ = 0, left_ = 0, discarded_ = 0; // unsent: queued or in the FIFO
    us held_{0};
    std::size_t fail_after_ = static_cast<std::size_t>(-1);
    bool queue_hidden_ = false, writes_only_ = false;
    us next_leave_{0}, last_left_{0};
    us hang_up_ = us::max();
    std::vector<std::pair<us, us>> stalls_;
    std::deque<std::pair<us, std::string>> input_;
};

} // namespace freqimg_test
