// Black-box tests of freqimg-inspect on streams that freqimg really made.
#include "command_runner.hpp"
#include "random_list.hpp"

#include <gtest/gtest.h>

#include <cstring>

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

TEST_F(inspect, marks_entries_that_are_no_frequency) {
    std::string list = read_file(EXAMPLES_DIR "/freq.dat");
    list.replace(list.find("476650"), 6, "47ab2f");
    run_result r = inspect_stream(generate(list));
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "Stream: 2944 bytes, 64 frames, every frame and checksum sound; 1 entry is not a "
              "frequency");
    EXPECT_NE(r.out.find("     11  47ab2f (not a frequency)  476.650\n"), std::string::npos);
    EXPECT_EQ(r.err, "freqimg-inspect: " + stream_path +
                         ": warning: channel 11 transmit entry \"47ab2f\" is not a frequency\n");
}

TEST_F(inspect, reports_where_freqimg_would_write_otherwise) {
    // Sound streams, each edited where freqimg never writes what they hold;
    // --freq-list must then warn that its list makes another stream.
    struct edit {
        std::size_t frame, offset; // offset in the record text
        const char *text;
    };
    struct row {
        std::vector<edit> edits;
        std::string line; // empty: freqimg makes the very same stream
        std::string why;
    } const rows[] = {
        // Image byte 0055 (template 00) made 01, its checksum kept right.
        {{{5, 16, "01"}, {5, 38, "08"}},
         "\nBytes that differ from what freqimg writes:\n  0050: 0055 01 (template 00)\n",
         "bytes differ from what freqimg writes"},
        // The same values, in lower case: in fixed data, a window's address
        // and a checksum.
        {{{4, 16, "fe"}, {4, 38, "ee"}, {26, 2, "a"}},
         "\nHex letters in lower case where freqimg writes upper case:\n"
         "  0040: \"fe\" at character 16, \"ee\" at character 38\n  01A0: \"a\" at character 2\n",
         "hex letters are in lower case where freqimg writes upper case"},
        // Lower case in a strip's characters is the list's own.
        {{{29, 6, "c"}}, "", ""},
    };
    for (const row &r : rows) {
        std::string stream = example_stream;
        for (const edit &e : r.edits)
            stream.replace(e.frame * 46 + 5 + e.offset, std::strlen(e.text), e.text);
        run_result report = inspect_stream(stream);
        EXPECT_EQ(report.exit_status, 0) << report.err;
        std::string tail =
            report.out.substr(report.out.find("\n\n", report.out.find("   20 ")) + 1);
        EXPECT_EQ(tail,
                  r.line.empty() ? "\nFixed records: all as in the built-in template\n" : r.line);
        run_result list = inspect_stream(stream, {"--freq-list"});
        EXPECT_EQ(list.exit_status, 0);
        EXPECT_EQ(list.err, r.why.empty()
                                ? ""
                                : "freqimg-inspect: " + stream_path + ": warning: " + r.why +
                                      "; freqimg makes another stream from this "
                                      "list\n");
    }
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

TEST_F(inspect, reads_one_stream_from_a_serial_line) {
    // A line never ends its input: the inspector stops after one stream, or
    // at a silence once data has begun, and puts the line back.
    pty_pair line;
    const termios before = line.settings();
    run_options options;
    options.program = FREQIMG_INSPECT_PATH;
    options.args = {"--timeout", "0.5", line.path};
    started whole = start_command(".", options);
    ASSERT_TRUE(line.wait_until_raw());
    line.send(example_stream + "and what follows");
    run_result r = finish_command(whole);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_NE(r.out.find("Fixed records: all as in the built-in template\n"), std::string::npos);
    EXPECT_TRUE(same_settings(line.settings(), before));

    ::tcflush(line.terminal, TCIFLUSH);  // what followed the stream
    options.args = {"--timeout", "0.5"}; // the line as standard input, cut short
    options.input = line.path;
    started cut = start_command(".", options);
    ASSERT_TRUE(line.wait_until_raw());
    line.send(example_stream.substr(0, 1000));
    r = finish_command(cut);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
              "freqimg-inspect: standard input: stream is 1000 bytes, not 2944");
    EXPECT_TRUE(same_settings(line.settings(), before));
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
    EXPECT_EQ(run_inspect({"--version"}).out, "freqimg-inspect (freqimg) " FREQIMG_VERSION "\n");
}

TEST_F(inspect, reports_help_that_cannot_be_written) {
    // Help that cannot be written is a failure like any other write.
    for (auto [where, reason] : {std::pair{output_to::dev_full, "No space left on device"},
                                 std::pair{output_to::closed, "Bad file descriptor"}}) {
        run_options options;
        options.program = FREQIMG_INSPECT_PATH;
        options.args = {"--help"};
        options.output = where;
        run_result r = run_freqimg(".", options);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, std::string("freqimg-inspect: write error: ") + reason + "\n");
    }
}

TEST_F(inspect, says_when_memory_is_exhausted) {
    // Short of memory, at whatever point, the run says so; it never aborts.
    if (sanitized)
        GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
    write_file(stream_path, example_stream);
    bool exhausted = false;
    for (long limit = 16 << 20; limit >= 2 << 20; limit -= 128 << 10) {
        run_options options;
        options.program = FREQIMG_INSPECT_PATH;
        options.args = {stream_path};
        options.memory_limit = limit;
        run_result r = run_freqimg(".", options);
        EXPECT_NE(r.exit_status, -1) << "killed by signal " << r.signal << " at " << limit;
        if (r.exit_status == 1) {
            EXPECT_EQ(r.err, "freqimg-inspect: memory exhausted\n") << limit;
        }
        exhausted = exhausted || r.exit_status == 1;
    }
    EXPECT_TRUE(exhausted);
}

} // namespace
} // namespace freqimg_test
