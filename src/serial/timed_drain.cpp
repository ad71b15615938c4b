#include "serial/timed_drain.hpp"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace freqimg {

struct timed_drain::state {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    fault failure;
};

timed_drain::timed_drain(std::function<fault()> drain)
    : drain_(std::move(drain)), state_(std::make_shared<state>()) {}

timed_drain::~timed_drain() {
    if (!thread_.joinable())
        return;
    fault ignored;
    if (wait(1000, ignored))
        thread_.join();
    else
        thread_.detach(); // it keeps its own share of the state
}

bool timed_drain::wait(unsigned ms, fault &failure) {
    if (!thread_.joinable())
        thread_ = std::thread([drain = drain_, shared = state_] {
            fault f = drain();
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->done = true;
            shared->failure = f;
            shared->ended.notify_all();
        });
    std::unique_lock<std::mutex> lock(state_->mutex);
    if (!state_->ended.wait_for(lock, std::chrono::milliseconds(ms),
                                [this] { return state_->done; }))
        return false;
    failure = state_->failure;
    return true;
}

} // namespace freqimg
