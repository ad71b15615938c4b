// A pseudo-terminal pair standing in for a serial line and the radio on it.
#pragma once

#include "support/line_state.hpp"

#include <cstddef>
#include <string>

namespace freqimg_test {

// A pseudo-terminal pair: the program under test gets the terminal side at
// `path` (under Wine a COM port, COM10 and up, mapped to it); the test keeps
// the other end, and a descriptor of the terminal side to look at its
// settings and to suspend its output. The terminal starts from
// unusual_state, so that a program that puts it back wrong, or leaves part
// of it as it was while it holds it, is seen to.
struct pty_pair {
    pty_pair();
    ~pty_pair();
    pty_pair(const pty_pair &) = delete;
    pty_pair &operator=(const pty_pair &) = delete;

    line_state state() const;
    // Whether the line is as `before`: every field, or under Wine the part
    // a Windows program can set (dcb_part).
    bool same_as(const line_state &before) const;
    // What is wrong with the line for a send at `baud` (raw_8n1_fault), as
    // far as the program can set it.
    std::string held_fault(unsigned baud) const;
    // Waits until someone else has set the terminal side raw; false after 5 s.
    bool wait_until_raw() const;
    // Whether the kernel's exclusive mode is on.
    bool exclusive() const;
    // Bytes sent to the terminal side that nobody has read.
    std::size_t unread() const;
    // The name of the terminal side under /dev, as lock files give it.
    std::string lock_name() const;
    // Everything the other end receives until it has been quiet for `ms`.
    std::string received(int ms = 200) const;
    void send(const std::string &bytes) const;

    int controller = -1, terminal = -1;
    std::string path;
    std::string device;   // the terminal side under /dev
    std::string com_link; // Wine's mapping of `path`, if any
};

} // namespace freqimg_test
