#include "channels/freq_list.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace freqimg {
namespace {

// A list of one token a line, with token `index` (0-62) replaced.
std::string with_token(std::size_t index, std::string_view token) {
    std::string s = "h1\nh2\nh3";
    for (int r = 1; r <= 20; ++r)
        s += "\nlabel\n476425\n476450";
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i)
        start = s.find('\n', start) + 1;
    std::size_t end = s.find('\n', start);
    return s.replace(start, end == std::string::npos ? std::string::npos : end - start, token);
}

TEST(freq_list, rejects_bad_fields_naming_line_and_channel) {
    struct row {
        std::size_t index;
        std::string token, message;
    } const rows[] = {
        {20, "47642G", "freq.dat:21: channel 6 receive field \"47642G\" is not six hex digits"},
        {4, "47642", "freq.dat:5: channel 1 transmit field \"47642\" is not six hex digits"},
        {4, "4764250", "freq.dat:5: channel 1 transmit field \"4764250\" is not six hex digits"},
        // MHz with a point: say how to write it.
        {62, "476.425",
         "freq.dat:63: channel 20 receive field \"476.425\" is not six hex digits; write "
         "476.425 MHz as 476425"},
        {61, "477.2",
         "freq.dat:62: channel 20 transmit field \"477.2\" is not six hex digits; write 477.2 "
         "MHz as 477200"},
        {61, "47.6425", "freq.dat:62: channel 20 transmit field \"47.6425\" is not six hex digits"},
        // Other ways to write a frequency, each with its one entry.
        {4, "476.4250",
         "freq.dat:5: channel 1 transmit field \"476.4250\" is not six hex digits; write "
         "476.4250 MHz as 476425"},
        {4, "476,425",
         "freq.dat:5: channel 1 transmit field \"476,425\" is not six hex digits; write 476,425 "
         "MHz as 476425"},
        {5, "476.425MHz",
         "freq.dat:6: channel 1 receive field \"476.425MHz\" is not six hex digits; write "
         "476.425MHz as 476425"},
        {5, "476425khz",
         "freq.dat:6: channel 1 receive field \"476425khz\" is not six hex digits; write "
         "476425khz as 476425"},
        {5, "476425000",
         "freq.dat:6: channel 1 receive field \"476425000\" is not six hex digits; write "
         "476425000 Hz as 476425"},
        {5, "27.125",
         "freq.dat:6: channel 1 receive field \"27.125\" is not six hex digits; write 27.125 "
         "MHz as 027125"},
        // No one entry: a fraction of a kHz, a unit with nothing before it,
        // too many digits, a second point.
        {5, "476425001", "freq.dat:6: channel 1 receive field \"476425001\" is not six hex digits"},
        {5, "476.4251MHz",
         "freq.dat:6: channel 1 receive field \"476.4251MHz\" is not six hex digits"},
        {5, "MHz", "freq.dat:6: channel 1 receive field \"MHz\" is not six hex digits"},
        {5, "4764.250", "freq.dat:6: channel 1 receive field \"4764.250\" is not six hex digits"},
        {5, "476.", "freq.dat:6: channel 1 receive field \"476.\" is not six hex digits"},
        {5, "476.42.5", "freq.dat:6: channel 1 receive field \"476.42.5\" is not six hex digits"},
        {7,
         std::string("476\0"
                     "25",
                     6),
         "freq.dat:8: channel 2 transmit field \"476\\x0025\" is not six hex digits"},
        // The last printable character stands as it is.
        {8, "~47642", "freq.dat:9: channel 2 receive field \"~47642\" is not six hex digits"},
        {8, "+47642\"\\\x7f",
         "freq.dat:9: channel 2 receive field \"+47642\\\"\\\\\\x7F\" is "
         "not six hex digits"},
        {4, std::string(30, '7'),
         "freq.dat:5: channel 1 transmit field "
         "\"77777777777777777777\"... is not six hex digits"},
    };
    for (const row &r : rows) {
        std::string list = with_token(r.index, r.token);
        EXPECT_STREQ(parse_freq_list(list).failure.c_str(), r.message.c_str()) << r.token;
        // Lines ended by a carriage return alone, as old Mac editors end them.
        std::replace(list.begin(), list.end(), '\n', '\r');
        EXPECT_STREQ(parse_freq_list(list).failure.c_str(), r.message.c_str()) << r.token;
    }
}

TEST(freq_list, refuses_text_saved_as_utf16) {
    // Notepad's "Unicode", in either byte order, with or without its mark.
    auto utf16 = [](const std::string &text, bool big_endian, bool mark) {
        std::string out = mark ? (big_endian ? "\xFE\xFF" : "\xFF\xFE") : "";
        for (char c : text)
            out += big_endian ? std::string{'\0', c} : std::string{c, '\0'};
        return out;
    };
    const std::string list = with_token(0, "h1");
    // A header in Cyrillic ("Канал"): five characters with no zero byte.
    const std::string kanal_le = "\x1A\x04\x30\x04\x3D\x04\x30\x04\x3B\x04";
    for (bool big_endian : {false, true})
        for (bool mark : {false, true}) {
            EXPECT_STREQ(parse_freq_list(utf16(list, big_endian, mark)).failure.c_str(),
                         "freq.dat: is UTF-16 text; save it as plain text (UTF-8 or ANSI)")
                << big_endian << mark;
        }
    EXPECT_TRUE(parse_freq_list(kanal_le + utf16(" " + list, false, false))
                    .failure.text.starts_with("freq.dat: is UTF-16 text"));
    // As short as can be told: two characters.
    EXPECT_STREQ(parse_freq_list(utf16("ab", false, true)).failure.c_str(),
                 "freq.dat: is UTF-16 text; save it as plain text (UTF-8 or ANSI)");
    // A zero byte in a label is no reason to take a list for UTF-16.
    EXPECT_FALSE(parse_freq_list(with_token(0, std::string("h\0", 2))).failure);
}

TEST(freq_list, short_list_names_what_is_missing) {
    std::string full = with_token(0, "h1");
    struct row {
        std::size_t keep;
        const char *message;
    } const rows[] = {
        {0, "freq.dat:1: list is empty"},
        {2, "freq.dat:2: list ends in its header row"},
        {3, "freq.dat:3: list ends before the label of channel 1"},
        {61, "freq.dat:61: list ends before the transmit field of channel 20"},
        {62, "freq.dat:62: list ends before the receive field of channel 20"},
    };
    for (row r : rows) {
        std::size_t end = 0;
        for (std::size_t i = 0; i < r.keep; ++i)
            end = full.find('\n', end) + 1;
        EXPECT_STREQ(parse_freq_list(full.substr(0, end) + "\n\n").failure.c_str(), r.message);
    }
}

TEST(freq_list, needs_the_list_to_end_within_the_limit) {
    // The 63rd token ends at byte `edge`; text past the limit is cut from a
    // longer file, so the token must be seen to end by then.
    const std::string text = with_token(0, "h1");
    const std::size_t edge = text.size();
    const std::string refused =
        "freq.dat:63: no list of 63 fields in the first " + std::to_string(edge - 1) + " bytes";
    struct row {
        std::string text;
        std::size_t limit;
        std::string message;
    } const rows[] = {
        {text, edge, ""},           // the whole file
        {text + " more", edge, ""}, // ends at the limit, file goes on
        {text + "0", edge,
         "freq.dat:63: no list of 63 fields in the first " + std::to_string(edge) + " bytes"},
        {text + " ", edge - 1, refused}, // one byte past the limit
        {std::string(100, '\0'), 99, "freq.dat:1: no list of 63 fields in the first 99 bytes"},
    };
    for (const row &r : rows) {
        EXPECT_STREQ(parse_freq_list(r.text, r.limit).failure.c_str(), r.message.c_str())
            << r.text.size() << " bytes, limit " << r.limit;
    }
}

TEST(freq_list, says_where_text_after_the_list_begins) {
    const std::string list = with_token(0, "h1");
    struct row {
        std::string text;
        unsigned rest_line, counted;
    } const rows[] = {
        {list, 0, 63},
        {list + " \n\t\n", 0, 65},
        {list + "\n\nExtra 476425 476425\n", 65, 65},
        {list + " #", 63, 63},
        // A line feed, a carriage return with one, or one alone: each a line.
        {list + "\n\r\n\r\r\nX", 67, 67},
        {list + "\r", 0, 64},
    };
    for (const row &r : rows) {
        parsed_list parsed = parse_freq_list(r.text);
        const list_rest &rest = parsed.rest;
        EXPECT_FALSE(parsed.failure);
        EXPECT_EQ(rest.line, r.rest_line) << r.text.substr(list.size());
        EXPECT_EQ(rest.counted.line(), r.counted) << r.text.substr(list.size());
    }
    // Counting goes on across pieces of text: a carriage return at the end
    // of one and a line feed at the start of the next end one line.
    line_counter counted;
    EXPECT_EQ(skip_blanks(" \r", counted), 2U);
    EXPECT_EQ(skip_blanks("\n\nx", counted), 2U);
    EXPECT_EQ(counted.line(), 3U);
}

TEST(strip_file, accepts_exactly_120_hex_digits) {
    strip out{};
    std::string good = std::string(114, 'A') + "c76425";
    EXPECT_FALSE(parse_strip("temptx.dat", good, out));
    EXPECT_EQ(std::string(out.data(), out.size()), good);
    for (const std::string &bad :
         {good.substr(1), good + "\n", good.substr(1) + "G", std::string()})
        EXPECT_STREQ(parse_strip("temptx.dat", bad, out).c_str(),
                     ("temptx.dat: changed since it was written (" + std::to_string(bad.size()) +
                      " bytes, not 120 hex digits)")
                         .c_str());
}

} // namespace
} // namespace freqimg
