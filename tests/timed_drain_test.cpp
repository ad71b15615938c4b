#include "serial/timed_drain.hpp"

#include <gtest/gtest.h>

#include <future>

namespace freqimg {
namespace {

TEST(timed_drain, waits_as_long_as_asked_and_ends_when_the_drain_does) {
    // The drain ends when the test says so, not at a time.
    std::promise<void> left;
    std::shared_future<void> gone = left.get_future().share();
    timed_drain drain([gone] {
        gone.wait();
        return make_fault("Input/output error");
    });
    fault failure;
    EXPECT_FALSE(drain.wait(10, failure));
    EXPECT_FALSE(drain.wait(10, failure));
    EXPECT_FALSE(failure);
    left.set_value();
    EXPECT_TRUE(drain.wait(60000, failure));
    EXPECT_STREQ(failure.c_str(), "Input/output error");
}

TEST(timed_drain, leaves_behind_a_drain_the_system_still_holds) {
    // A driver that never empties: the line is let go all the same, and the
    // drain, ended later, touches nothing that is gone.
    std::promise<void> left;
    std::shared_future<void> gone = left.get_future().share();
    {
        timed_drain drain([gone] {
            gone.wait();
            return fault{};
        });
        fault failure;
        EXPECT_FALSE(drain.wait(1, failure));
    }
    left.set_value();
}

} // namespace
} // namespace freqimg
