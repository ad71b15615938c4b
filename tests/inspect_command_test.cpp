// Black-box tests of freqimg-inspect on streams that freqimg really made.
#include "command_runner.hpp"
#include "random_list.hpp"

#include <gtest/gtest.h>

namespace freqimg_test {
namespace {

const std::string example_stream = read_file(TEST_DATA_DIR "/example_stream.bin");

class inspect : public ::testing::Test {
  protected:
    temp_dir tmp;
    std::string stream_path = tmp.path + "/stream.bin";

    run_result inspect_stream(const std::string &bytes, std::vector<std::string> args = {}) {
        write_file(stream_path, bytes);
        args.push_back(stream_path);
        return run_inspect(args);
    }

    // Runs freqimg on `list` and returns the stream.
    std::string generate(const std::string &list) {
        write_file(tmp.path + "/freq.dat", list);
        run_result r = run_freqimg(tmp.path);
        EXPECT_EQ(r.exit_status, 0) << r.err;
        return r.out;
    }
};

TEST_F(inspect, shows_the_channels_of_a_sound_stream) {
    run_result from_file = inspect_stream(example_stream);
    EXPECT_EQ(from_file.exit_status, 0);
    EXPECT_EQ(from_file.err, "");
    for (const char *line : {"      3  477.175                   476.425\n",
                             "     14  -                         477.100\n",
                             "Fixed records: all as in the built-in template\n"})
        EXPECT_NE(from_file.out.find(line), std::string::npos) << line;

    run_result from_stdin = run_inspect({}, stream_path);
    EXPECT_EQ(from_stdin.exit_status, 0);
    EXPECT_EQ(from_stdin.out, from_file.out);
}

TEST_F(inspect, marks_entries_that_are_no_frequency_and_changed_settings) {
    std::string stream = example_stream;
    // Byte 0x0055 of the image is 00 in the template: make it 01, checksum kept right.
    std::size_t frame5 = 5 * 46 + 5;
    stream.replace(frame5 + 6 + 2 * 5, 2, "01");
    stream.replace(frame5 + 38, 2, "08");
    std::string list = read_file(EXAMPLES_DIR "/freq.dat");
    list.replace(list.find("476650"), 6, "47ab2f");
    std::string odd = generate(list);

    run_result r = inspect_stream(stream);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_NE(r.out.find("  0050: 0055 01 (template 00)\n"), std::string::npos) << r.out;
    r = inspect_stream(odd);
    EXPECT_NE(r.out.find("     11  47ab2f (not a frequency)  476.650\n"), std::string::npos)
        << r.out;
}

TEST_F(inspect, names_every_corrupted_frame) {
    struct row {
        std::size_t frame, offset;
        char byte;
        std::string what;
    } const rows[] = {
        {0, 1, '\x00', "header is FE 00 EE EF E4, not FE FE EE EF E4"},
        {27, 5 + 2, '0', "address is 0100, not 01B0"},
        {40, 5 + 4, '2', "count is 20, not 10"},
        {26, 5 + 10, '0', "checksum is 86, record sums to E0"},
        {63, 5 + 39, 'C', "checksum is 9C, record sums to 01"},
        {44, 5 + 20, 'x', "character 20 of the record text is 78, not a hex digit"},
        {12, 45, '\xFE', "end byte is FE, not FD"},
    };
    std::string stream = example_stream;
    for (const row &r : rows)
        stream[r.frame * 46 + r.offset] = r.byte;
    run_result result = inspect_stream(stream);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, "");
    for (const row &r : rows) {
        char head[64];
        std::snprintf(head, sizeof head, "stream.bin: frame %zu (address %04zX): ", r.frame,
                      r.frame * 16);
        EXPECT_NE(result.err.find(head + r.what + "\n"), std::string::npos) << r.what;
    }
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), std::size(rows));
}

TEST_F(inspect, rejects_streams_of_the_wrong_length) {
    struct row {
        std::string bytes, message;
    } const rows[] = {
        {"", "stream is 0 bytes, not 2944\nfreqimg-inspect: " + stream_path +
                 ": frames 0 to 63 (addresses 0000 to 03F0): missing\n"},
        {example_stream.substr(0, 2944 - 46),
         "stream is 2898 bytes, not 2944\nfreqimg-inspect: " + stream_path +
             ": frame 63 (address 03F0): missing\n"},
        {example_stream.substr(0, 2943),
         "stream is 2943 bytes, not 2944\nfreqimg-inspect: " + stream_path +
             ": frame 63 (address 03F0): cut short after 45 of 46 bytes\n"},
        {example_stream + "\n", "stream is 2945 bytes, not 2944\n"},
    };
    for (const row &r : rows) {
        run_result result = inspect_stream(r.bytes, {"--freq-list"});
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, "freqimg-inspect: " + stream_path + ": " + r.message);
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(inspect, freq_list_makes_the_same_stream_again) {
    std::mt19937 rng(20261208);
    for (int n = 0; n < 100; ++n) {
        random_list list = make_random_list(rng);
        std::string stream = generate(list.text);
        run_result back = inspect_stream(stream, {"--freq-list"});
        ASSERT_EQ(back.exit_status, 0) << back.err;
        EXPECT_EQ(back.err.find("another stream"), std::string::npos) << back.err;
        ASSERT_EQ(generate(back.out), stream) << "list " << n << ":\n" << list.text;
    }
}

TEST_F(inspect, usage_errors_exit_2) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{"--frequency"}, std::vector<std::string>{"-x", "a"},
          std::vector<std::string>{"a", "b"}}) {
        run_result r = run_inspect(args);
        EXPECT_EQ(r.exit_status, 2) << args[0];
        EXPECT_NE(r.err.find("Try 'freqimg-inspect --help' for more information.\n"),
                  std::string::npos);
    }
    EXPECT_EQ(run_inspect({"--help"}).exit_status, 0);
}

} // namespace
} // namespace freqimg_test
