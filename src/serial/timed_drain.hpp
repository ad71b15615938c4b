// Waiting, with a time limit of the caller's choosing, for a drain that the
// system offers only as a call that blocks until the output has left the
// port (tcdrain, FlushFileBuffers). The call runs on a thread of its own and
// the system wakes it the moment the queue is empty; nothing here rests on
// a signal, which a user could send too.
#pragma once

#include "common/fault.hpp"

#include <functional>
#include <memory>
#include <thread>

namespace freqimg {

class timed_drain {
  public:
    // `drain` blocks until the output has left, and returns the system's
    // reason if it failed.
    explicit timed_drain(std::function<fault()> drain);
    // The caller has made the drain return (by discarding the output) or it
    // has finished; waits for it a little, and leaves it behind if the
    // system still holds it.
    ~timed_drain();
    timed_drain(const timed_drain &) = delete;
    timed_drain &operator=(const timed_drain &) = delete;

    // Starts the drain on its first call; returns true once it has ended,
    // within `ms`, with `failure` set if it failed.
    bool wait(unsigned ms, fault &failure);

  private:
    struct state;
    std::function<fault()> drain_;
    std::shared_ptr<state> state_;
    std::thread thread_;
};

} // namespace freqimg
