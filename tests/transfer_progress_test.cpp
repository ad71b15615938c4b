#include "stream/transfer_progress.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace freqimg {
namespace {

std::string written(std::FILE *f) {
    std::string s(static_cast<std::size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    EXPECT_EQ(std::fread(s.data(), 1, s.size(), f), s.size());
    std::fclose(f);
    return s;
}

TEST(transfer_text, says_what_went_and_what_is_left_at_the_speed_known) {
    using way = transfer_text::direction;
    struct row {
        transfer_text words;
        std::size_t done;
        std::string progress, last;
    } const rows[] = {
        {{way::sending, 9600},
         1380,
         "sending: 1380 of 2944 bytes, 30 of 64 frames, 46%, 1.6 s left",
         "sent 1380 bytes, 30 frames, in 2.5 s at 9600 baud"},
        {{way::receiving, 0},
         2944,
         "receiving: 2944 of 2944 bytes, 64 of 64 frames, 100%",
         "received 2944 bytes, 64 frames, in 2.5 s"},
    };
    for (const row &r : rows) {
        EXPECT_EQ(r.words.progress(r.done), r.progress);
        EXPECT_EQ(r.words.last(r.done, 2.46), r.last);
    }
}

TEST(transfer_progress, shows_ten_updates_a_second_at_most_but_always_the_end) {
    std::FILE *f = std::tmpfile();
    transfer_progress shown(f, true, transfer_progress::direction::sending, 9600);
    for (std::size_t n = 1; n <= 2944; ++n)
        shown.update(n);
    shown.finish(2944);
    std::string out = written(f);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\r'), 3) << out;
    EXPECT_EQ(out.substr(0, out.find('\r', 1)),
              "\rsending: 1 of 2944 bytes, 0 of 64 frames, 0%, 3.1 s left");
    EXPECT_NE(out.find("\rsending: 2944 of 2944 bytes, 64 of 64 frames, 100%, 0.0 s left"),
              std::string::npos);
    std::string last = out.substr(out.rfind('\r'));
    EXPECT_EQ(last.substr(0, 32), "\rsent 2944 bytes, 64 frames, in ");
    EXPECT_EQ(last.substr(last.find(" at ")), " at 9600 baud             \n") << out;

    // Receiving, at a speed not known, a shorter line covers the last.
    f = std::tmpfile();
    transfer_progress received(f, true, transfer_progress::direction::receiving, 0);
    received.note("a line of text that says what it waits for, and more");
    received.update(46);
    received.end_line();
    out = written(f);
    EXPECT_EQ(out.substr(out.find('\r', 1)),
              "\rreceiving: 46 of 2944 bytes, 1 of 64 frames, 1%     \n")
        << out;

    f = std::tmpfile();
    transfer_progress hidden(f, false, transfer_progress::direction::sending, 9600);
    hidden.update(2944);
    hidden.finish(2944);
    hidden.end_line();
    EXPECT_EQ(written(f), "");
}

} // namespace
} // namespace freqimg
