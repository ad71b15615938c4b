// A stream a radio sent against the stream meant for it, in channel words.
#include "stream/stream_compare.hpp"

#include "image/image_template.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace freqimg {
namespace {

decoded_stream decoded(const std::string &tx, const std::string &rx) {
    image_stream s = compose_stream(tx, rx);
    return decode_stream({s.bytes.data(), s.size});
}

std::string strip_of(std::string first, std::string_view rest) {
    for (std::size_t n = 1; n < channel_count; ++n)
        first += rest;
    return first;
}

TEST(compare_streams, says_in_channel_words_where_two_images_differ) {
    const std::string tx = strip_of("476425", "476550"), rx = strip_of("C76425", "476450");
    const decoded_stream meant = decoded(tx, rx);
    struct row {
        std::string tx, rx;
        unsigned poke = 0; // an image byte made 0x01, where not 0
        std::vector<std::string> lines;
    } const rows[] = {
        {tx, rx, 0, {"the radio holds what the table says: 20 channels in use, 0 blank"}},
        // The same bytes, spelled in lower case.
        {tx,
         strip_of("c76425", "476450"),
         0,
         {"the radio holds what the table says: 20 channels in use, 0 blank"}},
        {strip_of("C76425", "476550"),
         strip_of("C76425", "476450"),
         0,
         {"channel 1 transmit: the radio has blank, the table 476.425 MHz"}},
        {tx.substr(0, 114) + "47655a",
         strip_of("476525", "476450"),
         0,
         {"channel 20 transmit: the radio has 47655A (not a frequency), the table 476.550 MHz",
          "channel 1 receive: the radio has 476.525 MHz, the table blank"}},
        // A fixed byte, and the zero after a window's entries.
        {tx,
         rx,
         0x0055,
         {"record 0050: the radio has 10EC0000000100460000000000917F45, the table "
          "10EC0000000000460000000000917F45"}},
        {tx,
         rx,
         0x02FC,
         {"record 02F0: the radio has 47645047645047645047645001000000, the table "
          "47645047645047645047645000000000"}},
    };
    for (const row &r : rows) {
        decoded_stream found = decoded(r.tx, r.rx);
        if (r.poke != 0)
            found.image[r.poke] = 0x01;
        comparison c = compare_streams(meant, found, "the table", "the radio");
        EXPECT_EQ(c.lines, r.lines);
        EXPECT_EQ(c.same, r.lines.front().find("holds what") != std::string::npos);
    }
    // Every channel blank on both sides.
    const std::string blank = strip_of("C76425", "C76425");
    EXPECT_EQ(compare_streams(decoded(blank, blank), decoded(blank, blank), "a", "b").lines,
              std::vector<std::string>{"b holds what a says: 0 channels in use, 20 blank"});
}

} // namespace
} // namespace freqimg
