// The registry of ending guards, the same on every platform: fixed slots
// with atomic states, so that a handler can read them at any moment and
// each action runs once, whoever comes first.

#include "platform/ending_guard.hpp"

#include <array>
#include <atomic>

namespace freqimg {
namespace {

enum slot_state : int { free_slot, armed, spent };

struct slot {
    std::atomic<int> state{free_slot};
    ending_guard::action undo = nullptr;
    const void *data = nullptr;
};

std::array<slot, 8> slots;
std::atomic<int> in_use{0};

// Claims the undoing of `s` from whoever else might do it.
bool claim(slot &s) {
    int expected = armed;
    return s.state.compare_exchange_strong(expected, spent);
}

} // namespace

void ending_guard::arm(action undo, const void *data) {
    for (std::size_t i = 0; slot_ < 0 && i < slots.size(); ++i) {
        int expected = free_slot;
        if (!slots[i].state.compare_exchange_strong(expected, spent))
            continue;
        if (in_use++ == 0)
            ending_events::catch_them();
        slots[i].undo = undo;
        slots[i].data = data;
        slots[i].state = armed;
        slot_ = static_cast<int>(i);
    }
}

bool ending_guard::take() {
    return slot_ >= 0 && claim(slots[static_cast<std::size_t>(slot_)]);
}

bool ending_guard::finish(action undo, const void *data) {
    ending_events::hold();
    bool ours = take();
    if (ours)
        undo(data);
    ending_events::let_through();
    return ours;
}

ending_guard::~ending_guard() {
    if (slot_ < 0)
        return;
    slots[static_cast<std::size_t>(slot_)].state = free_slot;
    if (--in_use == 0)
        ending_events::release_them();
}

void run_ending_actions() {
    for (slot &s : slots)
        if (claim(s))
            s.undo(s.data);
}

} // namespace freqimg
