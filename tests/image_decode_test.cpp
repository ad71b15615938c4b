// The stream reader at the library level: every kind of corrupt frame named
// once, where it is; what departs from freqimg's stream without a fault
// found byte for byte, and reported.
#include "image/image_decode.hpp"
#include "image/image_template.hpp"
#include "stream/stream_input.hpp"
#include "stream/stream_report.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace freqimg {
namespace {

std::string repeated(std::string_view entry) {
    std::string strip;
    for (std::size_t n = 0; n < channel_count; ++n)
        strip += entry;
    return strip;
}

const std::string sound = [] {
    image_stream s = compose_stream(repeated("476425"), repeated("C76425"));
    return std::string(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(s.size));
}();

// Where record text character `at` of frame `frame` stands in a stream.
constexpr std::size_t text_at(std::size_t frame, std::size_t at) {
    return frame * frame_size + frame_header.size() + at;
}

std::vector<std::string> faults_of(const std::string &bytes) {
    return decode_stream({reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size()})
        .faults;
}

TEST(decode_stream, names_each_corrupt_frame_where_it_is) {
    // Bytes `erase` from `at` replaced with `insert`.
    struct edit {
        std::size_t at, erase;
        std::string_view insert;
    };
    const std::string swapped =
        sound.substr(11 * frame_size, frame_size) + sound.substr(10 * frame_size, frame_size);
    struct row {
        edit change;
        std::vector<std::string> faults;
    } const rows[] = {
        {{text_at(5, 38), 2, "0A"}, {"frame 5 (address 0050): checksum is 0A, record sums to 01"}},
        {{text_at(63, 38), 2, "9A"},
         {"frame 63 (address 03F0): checksum is 9A, record sums to FF"}},
        {{text_at(50, 38), 1, "g"},
         {"frame 50 (address 0320): character 38 of the record text is 67, not a hex digit"}},
        {{text_at(7, 4), 2, "11"}, {"frame 7 (address 0070): count is 11, not 10"}},
        {{17 * frame_size + 2, 1, "\xEF"},
         {"frame 17 (address 0110): header is FE FE EF EF E4, not FE FE EE EF E4"}},
        {{18 * frame_size - 1, 1, "\xFE"}, {"frame 17 (address 0110): end byte is FE, not FD"}},
        // Cut at each boundary of a frame: in its header, after it, in the
        // text, before the end byte, after the end byte.
        {{3, std::string::npos, ""},
         {"stream is 3 bytes, not 2944; it ends 3 bytes into frame 0 (address 0000)"}},
        {{10 * frame_size + 5, std::string::npos, ""},
         {"stream is 465 bytes, not 2944; it ends 5 bytes into frame 10 (address 00A0)"}},
        {{text_at(10, 20), std::string::npos, ""},
         {"stream is 485 bytes, not 2944; it ends 25 bytes into frame 10 (address 00A0)"}},
        {{stream_size - 1, 1, ""},
         {"stream is 2943 bytes, not 2944; it ends 45 bytes into frame 63 (address 03F0)"}},
        {{frame_size, std::string::npos, ""},
         {"stream is 46 bytes, not 2944; it ends after frame 0 (address 0000)"}},
        {{stream_size, 0, "\r\n"}, {"stream is 2946 bytes, not 2944"}},
        // Two records that changed places.
        {{10 * frame_size, 2 * frame_size, swapped},
         {"frame 10 (address 00A0): address is 00B0, not 00A0",
          "frame 11 (address 00B0): address is 00A0, not 00B0"}},
    };
    for (const row &r : rows) {
        std::string bytes = sound;
        bytes.replace(r.change.at, r.change.erase, r.change.insert);
        EXPECT_EQ(faults_of(bytes), r.faults) << r.faults.front();
    }

    // A byte between two frames puts every frame after it out of step.
    std::string between = sound;
    between.insert(frame_size, 1, '\0');
    std::vector<std::string> faults = faults_of(between);
    ASSERT_EQ(faults.size(), 1 + frame_count - 1);
    EXPECT_EQ(faults[0], "stream is 2945 bytes, not 2944");
    EXPECT_EQ(faults[1], "frame 1 (address 0010): header is 00 FE FE EE EF, not FE FE EE EF E4");
    EXPECT_EQ(faults[2], "frame 2 (address 0020): header is FD FE FE EE EF, not FE FE EE EF E4");
}

TEST(decode_stream, finds_and_reports_what_departs_from_freqimg_without_a_fault) {
    // Record text characters set in one frame, its checksum made right.
    struct edit {
        std::size_t frame, at;
        std::string_view text;
    };
    struct row {
        edit change;
        std::vector<byte_change> changes;
        std::vector<lower_case_run> lower;
        std::string report; // after the channel table
    } const rows[] = {
        {{5, 16, "01"},
         {{0x0055, 0x01, 0x00, false}},
         {},
         "\nBytes that differ from what freqimg writes:\n  0050: 0055 01 (template 00)\n"},
        {{5, 16, "0101"},
         {{0x0055, 0x01, 0x00, false}, {0x0056, 0x01, 0x00, false}},
         {},
         "\nBytes that differ from what freqimg writes:\n"
         "  0050: 0055 01 (template 00), 0056 01 (template 00)\n"},
        {{29, 30, "7F"},
         {{0x01DC, 0x7F, 0x00, true}},
         {},
         "\nBytes that differ from what freqimg writes:\n  01D0: 01DC 7F (expected 00)\n"},
        {{4, 16, "fe"},
         {},
         {{4, 16, 17}},
         "\nHex letters in lower case where freqimg writes upper case:\n"
         "  0040: \"fe\" at character 16\n"},
        // A strip's own characters stand as the list gave them.
        {{44, 6, "c7"}, {}, {}, "\nFixed records: all as in the built-in template\n"},
    };
    for (const row &r : rows) {
        std::string bytes = sound;
        bytes.replace(text_at(r.change.frame, r.change.at), r.change.text.size(), r.change.text);
        const std::string text = bytes.substr(text_at(r.change.frame, 0), record_text_size);
        put_hex(bytes.data() + text_at(r.change.frame, record_checksum_offset),
                record_checksum(record_address(text), record_count,
                                std::string_view(text).substr(record_data_offset, 32)),
                2);
        decoded_stream d =
            decode_stream({reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size()});
        ASSERT_EQ(d.faults, std::vector<std::string>{}) << r.report;
        ASSERT_EQ(d.changes.size(), r.changes.size()) << r.report;
        for (std::size_t i = 0; i < r.changes.size(); ++i) {
            EXPECT_EQ(d.changes[i].address, r.changes[i].address);
            EXPECT_EQ(d.changes[i].found, r.changes[i].found);
            EXPECT_EQ(d.changes[i].expected, r.changes[i].expected);
            EXPECT_EQ(d.changes[i].padding, r.changes[i].padding);
        }
        ASSERT_EQ(d.lower_case.size(), r.lower.size()) << r.report;
        for (std::size_t i = 0; i < r.lower.size(); ++i) {
            EXPECT_EQ(d.lower_case[i].frame, r.lower[i].frame);
            EXPECT_EQ(d.lower_case[i].first, r.lower[i].first);
            EXPECT_EQ(d.lower_case[i].last, r.lower[i].last);
        }
        const std::string report = stream_report(d);
        EXPECT_EQ(report.substr(report.find("\n\n", report.find("   20  ")) + 1), r.report);
        EXPECT_EQ(static_cast<bool>(freq_list_warning(d, "s.bin")),
                  r.report.find("Fixed records") == std::string::npos);
    }
}

TEST(check_stream_input, refuses_what_a_reader_of_its_own_read_past_the_limit) {
    const std::vector<unsigned char> more(stream_input_limit + 1, frame_header[0]);
    decoded_stream stream;
    std::vector<fault> faults = check_stream_input("big.bin", more, stream);
    ASSERT_EQ(faults.size(), 1U);
    EXPECT_EQ(faults[0].text, "big.bin: stream is over 1048576 bytes, not 2944");
}

} // namespace
} // namespace freqimg
