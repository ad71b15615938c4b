// The ending guards' handler on POSIX systems: every signal whose default
// action ends the process, but for SIGKILL, which cannot be caught.

#include "platform/ending_guard.hpp"

#include <algorithm>
#include <csignal>
#include <iterator>

namespace freqimg {
namespace {

// The signals whose default action ends the process, but for SIGKILL and
// the real-time ones (ends_by_default adds those).
// clang-format off
constexpr int ending_signals[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV,
    SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
};
// clang-format on

constexpr int signal_count = NSIG; // one past the highest signal number

bool ends_by_default(int signal) {
#if defined(SIGRTMIN) && defined(SIGRTMAX)
    if (signal >= SIGRTMIN && signal <= SIGRTMAX)
        return true;
#endif
    return std::find(std::begin(ending_signals), std::end(ending_signals), signal) !=
           std::end(ending_signals);
}

struct sigaction earlier_actions[signal_count];
sigset_t mask_before_hold;

sigset_t ending_signal_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int s = 1; s < signal_count; ++s)
        if (ends_by_default(s))
            sigaddset(&set, s);
    return set;
}

// Undoes what the guards hold, then ends the process as the signal would
// have: the signal stays blocked in the handler, so raising it again under
// the default action ends the process as soon as the handler returns.
extern "C" void on_ending_signal(int signal) {
    run_ending_actions();
    struct sigaction by_default {};
    by_default.sa_handler = SIG_DFL;
    ::sigaction(signal, &by_default, nullptr);
    ::raise(signal);
}

} // namespace

// Catches every ending signal that is not ignored (nohup keeps SIGHUP
// ignored, and so does this). Each blocks the others while the guards'
// actions run.
void ending_events::catch_them() {
    struct sigaction catcher {};
    catcher.sa_handler = on_ending_signal;
    catcher.sa_mask = ending_signal_set();
    for (int s = 1; s < signal_count; ++s) {
        if (!ends_by_default(s) || ::sigaction(s, nullptr, &earlier_actions[s]) != 0)
            continue;
        if (earlier_actions[s].sa_handler != SIG_IGN)
            ::sigaction(s, &catcher, nullptr);
    }
}

void ending_events::release_them() {
    for (int s = 1; s < signal_count; ++s)
        if (ends_by_default(s))
            ::sigaction(s, &earlier_actions[s], nullptr);
}

void ending_events::hold() {
    sigset_t ending = ending_signal_set();
    ::pthread_sigmask(SIG_BLOCK, &ending, &mask_before_hold);
}

void ending_events::let_through() {
    ::pthread_sigmask(SIG_SETMASK, &mask_before_hold, nullptr);
}

} // namespace freqimg
