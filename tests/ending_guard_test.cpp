// What an ending undoes: each action once, whoever comes first, with the
// signals that end the process held back while it runs outside a handler,
// and caught only while a guard is armed.
#include "platform/ending_guard.hpp"

#include <gtest/gtest.h>

#include <csignal>

namespace freqimg {
namespace {

int runs = 0;
bool held_back = false;

void note(const void *) {
    sigset_t now;
    ::pthread_sigmask(SIG_BLOCK, nullptr, &now);
    held_back = sigismember(&now, SIGTERM) == 1 && sigismember(&now, SIGINT) == 1;
    ++runs;
}

bool caught(int signal) {
    struct sigaction now {};
    ::sigaction(signal, nullptr, &now);
    return now.sa_handler != SIG_DFL && now.sa_handler != SIG_IGN;
}

TEST(ending_guard, runs_each_action_once_and_holds_endings_back_meanwhile) {
    {
        ending_guard guard;
        EXPECT_FALSE(caught(SIGTERM));
        guard.arm(note, nullptr);
        EXPECT_TRUE(caught(SIGTERM) && caught(SIGHUP));
        EXPECT_TRUE(guard.finish(note, nullptr));
        EXPECT_TRUE(held_back);
        EXPECT_FALSE(guard.finish(note, nullptr));
        EXPECT_EQ(runs, 1);
        sigset_t after;
        ::pthread_sigmask(SIG_BLOCK, nullptr, &after);
        EXPECT_FALSE(sigismember(&after, SIGTERM));

        ending_guard a, b;
        a.arm(note, nullptr);
        b.arm(note, nullptr);
        run_ending_actions();
        EXPECT_EQ(runs, 3);
        EXPECT_FALSE(a.take());
    }
    EXPECT_FALSE(caught(SIGTERM));
}

} // namespace
} // namespace freqimg
