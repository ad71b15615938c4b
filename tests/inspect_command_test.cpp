// Black-box tests of freqimg-inspect on streams that freqimg really made.
#include "support/command_runner.hpp"
#include "support/random_list.hpp"

#include <gtest/gtest.h>

#include <termios.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

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
        run_result r = run_command(tmp.path);
        EXPECT_EQ(r.exit_status, 0) << r.err;
        return r.out;
    }
};

TEST_F(inspect, shows_the_channels_of_a_sound_stream) {
    run_result from_file = inspect_stream(example_stream);
    EXPECT_EQ(from_file.exit_status, 0);
    EXPECT_EQ(from_file.err, "");
    EXPECT_EQ(from_file.out, read_file(TEST_DATA_DIR "/example_report.txt"));
    EXPECT_EQ(run_inspect({"--freq-list", stream_path}).out,
              read_file(TEST_DATA_DIR "/example_freq_list.txt"));

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
        // The same values, in lower case: in fixed data from the first
        // frame on, a window's address and a checksum.
        {{{0, 9, "b"}, {4, 16, "fe"}, {4, 38, "ee"}, {26, 2, "a"}},
         "\nHex letters in lower case where freqimg writes upper case:\n"
         "  0000: \"b\" at character 9\n"
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

TEST_F(inspect, takes_file_names_in_any_script) {
    // Outside any one ANSI code page, on Windows too: the name reaches the
    // file system and the messages as it was given.
    const std::string dir = tmp.path + "/Ünïcødé-频率";
    std::filesystem::create_directory(dir);
    write_file(dir + "/upload.bin", example_stream);
    run_result sound = run_inspect({dir + "/upload.bin"});
    EXPECT_EQ(sound.exit_status, 0) << sound.err;
    // Every message whole, however long; a name that would move the
    // cursor, retitle the terminal or begin a line of its own is escaped.
    const std::string deep = dir + "/" + std::string(200, 'd') + "/" + std::string(200, 'e');
    // (Windows takes no control character in a name at all.)
    const std::string missing = "No such file or directory";
    const std::string invalid = under_wine() ? "Invalid argument" : missing;
    struct row {
        std::string name, shown, reason;
    } const rows[] = {
        {dir + "/none.bin", dir + "/none.bin", missing},
        {deep, deep, missing},
        {tmp.path + "/a\nfreqimg-inspect: b", "'" + tmp.path + "/a'$'\\n''freqimg-inspect: b'",
         invalid},
        {tmp.path + "/\x1B]0;owned\a", "'" + tmp.path + "/'$'\\033'']0;owned'$'\\a'", invalid},
    };
    for (const row &r : rows)
        EXPECT_EQ(run_inspect({r.name}).err,
                  "freqimg-inspect: " + r.shown + ": cannot open: " + r.reason + "\n");
}

TEST_F(inspect, reports_an_input_that_fails_to_be_read) {
    // The process's own memory at address 0, and a folder.
    SKIP_UNDER_WINE("Unix files");
    for (const auto &[path, reason] :
         {std::pair{std::string("/proc/self/mem"), "Input/output error"},
          std::pair{tmp.path, "Is a directory"}}) {
        run_result r = run_inspect({path});
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "freqimg-inspect: " + path + ": read error: " + reason + "\n");
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
        {3, 5 + 0, '1', "address is 1030, not 0030"},
        {50, 5 + 7, 'G', "character 7 of the record text is 47, not a hex digit"},
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

// The stream as a shell that takes bytes for text in one code page passes
// it on: each byte a character, written out as `encode` writes characters.
std::string re_encoded(const std::string &stream, std::string (*encode)(unsigned char)) {
    std::string out;
    for (char c : stream)
        out += encode(static_cast<unsigned char>(c));
    return out;
}

TEST_F(inspect, says_in_one_line_what_was_given_instead_of_a_stream) {
    const std::string do_this = "; run the pipe or redirection where bytes pass unchanged "
                                "(cmd.exe, PowerShell 7.4 or later, any Unix shell)\n";
    struct row {
        std::string bytes, message;
    } const rows[] = {
        {"", "stream is 0 bytes, not 2944\n"},
        {example_stream.substr(0, 47),
         "stream is 47 bytes, not 2944; it ends 1 byte into frame 1 (address 0010)\n"},
        {example_stream.substr(0, 2944 - 46),
         "stream is 2898 bytes, not 2944; it ends after frame 62 (address 03E0)\n"},
        {example_stream.substr(0, 2943),
         "stream is 2943 bytes, not 2944; it ends 45 bytes into frame 63 (address 03F0)\n"},
        {example_stream + "\n", "stream is 2945 bytes, not 2944\n"},
        {std::string((1 << 20) + 1, 'x'), "stream is over 1048576 bytes, not 2944\n"},
        {std::string(5000, 'x'),
         "no upload stream: not one frame header (FE FE EE EF E4) in its 5000 bytes\n"},
        {read_file(EXAMPLES_DIR "/freq.dat"),
         "is a channel list, not a stream; freqimg makes the stream from it\n"},
        // PowerShell 5's > writes UTF-16 text with a byte-order mark.
        {"\xFF\xFE" + re_encoded(example_stream,
                                 [](unsigned char c) { return std::string(1, char(c)) + '\0'; }),
         "the stream was re-encoded as UTF-16 text on its way, as PowerShell 5 does with | and >" +
             do_this},
        // Latin-1 read back as UTF-8, and PowerShell 5's | to a program:
        // ASCII, with "?" for every byte above 7F and a line end added.
        {re_encoded(example_stream,
                    [](unsigned char c) {
                        return c < 0x80 ? std::string(1, char(c))
                                        : std::string{char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
                    }),
         "the stream's bytes above 7F were changed on its way, as when it is re-encoded as text" +
             do_this},
        {re_encoded(example_stream,
                    [](unsigned char c) { return std::string(1, c < 0x80 ? char(c) : '?'); }) +
             "\r\n",
         "the stream's bytes above 7F were changed on its way, as when it is re-encoded as text" +
             do_this},
    };
    for (const row &r : rows) {
        run_result result = inspect_stream(r.bytes, {"--freq-list"});
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, "freqimg-inspect: " + stream_path + ": " + r.message);
        EXPECT_EQ(result.out, "");
    }
    // Through a pipe, which gives its bytes a piece at a time.
    const run_options piped{.program = "/bin/sh",
                            .args = {"-c", "cat \"$1\" | " + shell_prefix() + "\"$0\"",
                                     commands().inspect, stream_path}};
    for (const std::string &bytes : {std::string(5000, 'x'), example_stream}) {
        write_file(stream_path, bytes);
        run_result result = run_command(tmp.path, piped);
        EXPECT_EQ(result.err, bytes == example_stream
                                  ? ""
                                  : "freqimg-inspect: standard input: no upload "
                                    "stream: not one frame header (FE FE EE EF "
                                    "E4) in its 5000 bytes\n");
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

TEST_F(inspect, compares_a_stream_with_the_stream_meant_channel_by_channel) {
    const std::string meant = tmp.path + "/upload.bin";
    write_file(meant, example_stream);
    std::string list = read_file(EXAMPLES_DIR "/freq.dat");
    const std::string other = generate(list.replace(list.find("477175"), 6, "476999"));
    std::string faulty = example_stream;
    faulty[5 * 46 + 5] = 'x';
    const std::string faulty_meant = tmp.path + "/short.bin";
    write_file(faulty_meant, example_stream.substr(0, 5));
    struct row {
        std::string bytes;
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } const rows[] = {
        {example_stream,
         {"--compare", meant},
         0,
         stream_path + " holds what " + meant + " says: 16 channels in use, 4 blank\n",
         ""},
        {other,
         {"--compare=" + meant},
         1,
         "channel 3 transmit: " + stream_path + " has 476.999 MHz, " + meant + " 477.175 MHz\n",
         ""},
        // A faulty stream is refused as without --compare; so is a faulty
        // or missing EXPECTED, before anything is read.
        {faulty,
         {"--compare", meant},
         1,
         "",
         "freqimg-inspect: " + stream_path +
             ": frame 5 (address 0050): character 0 of the record text is 78, not a hex digit\n"},
        {example_stream,
         {"--compare", stream_path + ".none"},
         1,
         "",
         "freqimg-inspect: " + stream_path + ".none: cannot open: No such file or directory\n"},
        {example_stream,
         {"--compare", "-"},
         1,
         "",
         "freqimg-inspect: standard input: not a stream file\n"},
        {example_stream,
         {"--compare", faulty_meant},
         1,
         "",
         "freqimg-inspect: " + faulty_meant +
             ": stream is 5 bytes, not 2944; it ends 5 bytes into frame 0 (address 0000)\n"},
        {example_stream,
         {"--compare", meant, "--freq-list"},
         2,
         "",
         "freqimg-inspect: --freq-list and --compare cannot be given together\nTry "
         "'freqimg-inspect --help' for more information.\n"},
    };
    for (const row &r : rows) {
        run_result result = inspect_stream(r.bytes, r.args);
        EXPECT_EQ(result.exit_status, r.status) << r.err;
        EXPECT_EQ(result.out, r.out);
        EXPECT_EQ(result.err, r.err);
    }
}

// A line the inspector reads from, starting a reader on it.
class inspect_line : public inspect {
  protected:
    pty_pair line;
    const line_state before = line.state();

    started start_reading(std::vector<std::string> args, bool stderr_to_tty = false,
                          const std::string &input = "/dev/null") {
        started reader = start_command(tmp.path, {.program = commands().inspect,
                                                  .args = std::move(args),
                                                  .input = input,
                                                  .stderr_to_tty = stderr_to_tty});
        EXPECT_TRUE(line.wait_until_raw());
        return reader;
    }
};

TEST_F(inspect_line, reads_one_stream_and_nothing_after_it) {
    // A line never ends its input: the inspector skips the noise before the
    // first frame header, stops after one stream, and puts the line back.
    // It keeps the line's own speed, one that only termios2 can set.
    const std::string backup = tmp.path + "/backup.bin";
    started reader = start_reading({"--time=0.5", "--save", backup, line.path});
    EXPECT_EQ(line.held_fault(before.ospeed), "");
    // The noise ends in part of a header.
    line.send(std::string("\x00\xFF\xFE", 3) + example_stream + "and what follows");
    run_result r = finish_command(reader);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_NE(r.out.find("Fixed records: all as in the built-in template\n"), std::string::npos);
    EXPECT_EQ(r.err, "freqimg-inspect: " + line.path +
                         ": warning: skipped 3 bytes before the first frame header\n");
    EXPECT_EQ(line.unread(), std::string("and what follows").size());
    EXPECT_EQ(read_file(backup), example_stream); // the stream, without the noise
    EXPECT_TRUE(line.same_as(before));

    // What cannot be saved is refused before the line is borrowed at all
    // (a refusal after it would wait for the radio), an old backup first;
    // and a name whose every file beside it is taken, whose takers are kept.
    const std::string cannot = ": cannot save: ", crowded = tmp.path + "/crowded.bin";
    for (int n = 0; n < 100; ++n)
        write_file(crowded + ".part" + std::to_string(n), "someone's");
    struct row {
        std::string save_to;
        int status;
        std::string err;
    } const rows[] = {
        {backup, 1, backup + cannot + "File exists"},
        {crowded, 1, crowded + cannot + "File exists"},
        {tmp.path + "/no/such/dir/b.bin", 1,
         tmp.path + "/no/such/dir/b.bin" + cannot + "No such file or directory"},
        {tmp.path + "/new/", 1, tmp.path + "/new/" + cannot + "Is a directory"},
        {tmp.path + "/" + std::string(256, 'n'), 1,
         tmp.path + "/" + std::string(256, 'n') + cannot + "File name too long"},
        {"", 2, "invalid file name ''\nTry 'freqimg-inspect --help' for more information."},
    };
    for (const row &refused : rows) {
        run_result again = run_inspect({"--save", refused.save_to, line.path});
        EXPECT_EQ(again.exit_status, refused.status) << refused.save_to;
        EXPECT_EQ(again.err, "freqimg-inspect: " + refused.err + "\n");
        EXPECT_TRUE(line.same_as(before));
    }
    EXPECT_EQ(read_file(backup), example_stream);
    EXPECT_EQ(read_file(crowded + ".part99"), "someone's");
}

TEST_F(inspect_line, says_the_line_hung_up_and_keeps_what_came) {
    // A cable pulled mid-capture is no short stream from the radio.
    const std::string backup = tmp.path + "/backup.bin";
    started reader = start_reading({"--save", backup, line.path});
    line.send(example_stream.substr(0, 1000));
    // Hanging up throws away what the reader has not taken yet.
    for (int i = 0; i < 500 && (i < 10 || line.unread() > 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::close(line.controller);
    line.controller = -1;
    run_result r = finish_command(reader);
    EXPECT_EQ(r.exit_status, 1);
    // A Windows driver reports a line that is gone as a failed read.
    EXPECT_EQ(r.err, "freqimg-inspect: " + line.path +
                         (under_wine() ? ": read error: Input/output error\n"
                                       : ": the line hung up with 1000 of 2944 bytes received\n"));
    EXPECT_EQ(read_file(backup), example_stream.substr(0, 1000));
}

TEST_F(inspect_line, takes_the_backup_away_with_it_when_a_signal_ends_the_capture) {
    // Ctrl-C while the radio sends: the line goes back as it was, and the
    // file the capture was being kept in goes too, with nothing half made
    // left beside the name. A Windows program sees only SIGINT, as Ctrl-C.
    std::vector<int> signals{SIGINT, SIGTERM, SIGHUP};
    if (under_wine())
        signals = {SIGINT};
    for (int signal : signals) {
        started reader = start_reading({"--save", tmp.path + "/backup.bin", line.path});
        line.send(example_stream.substr(0, 1000));
        for (int i = 0; i < 500 && line.unread() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::kill(reader.pid, signal);
        run_result r = finish_command(reader);
        if (under_wine())
            EXPECT_EQ(r.exit_status, 0x3A) << r.err;
        else
            EXPECT_EQ(r.signal, signal) << strsignal(signal) << ": " << r.err;
        EXPECT_TRUE(line.same_as(before)) << strsignal(signal);
        EXPECT_TRUE(std::filesystem::is_empty(tmp.path)) << strsignal(signal);
    }
}

TEST_F(inspect_line, shows_the_wait_and_the_capture_on_a_terminal) {
    SKIP_UNDER_WINE("a terminal as standard error");
    started reader = start_reading({"--timeout", "0.5", line.path}, true);
    line.send(example_stream);
    run_result r = finish_command(reader);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err.substr(0, r.err.find('\r', 1)),
              "\r" + line.path + ": waiting for the radio to send (Ctrl-C stops)");
    EXPECT_NE(r.err.find("\rreceived 2944 bytes, 64 frames, in "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.substr(r.err.size() - 2), "\r\n");
}

TEST_F(inspect_line, refuses_a_line_another_program_reads) {
    SKIP_UNDER_WINE("Wine does not keep a COM port to the program that opened it");
    started first = start_reading({"--timeout", "0.5", line.path});
    run_result second = run_inspect({line.path});
    EXPECT_EQ(second.exit_status, 1);
    EXPECT_EQ(second.err, "freqimg-inspect: " + line.path + ": in use by another program\n");
    line.send(example_stream);
    EXPECT_EQ(finish_command(first).exit_status, 0);
}

TEST_F(inspect_line, reads_a_line_given_as_standard_input_until_it_falls_silent) {
    SKIP_UNDER_WINE("a terminal as standard input");
    started reader = start_reading({"--timeout", "0.5"}, false, line.device);
    line.send(example_stream.substr(0, 1000));
    run_result r = finish_command(reader);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "freqimg-inspect: standard input: stream is 1000 bytes, not 2944; it ends 34 "
                     "bytes into frame 21 (address 0150)\n");
    EXPECT_TRUE(line.same_as(before));
    EXPECT_FALSE(line.exclusive());
}

TEST_F(inspect, keeps_what_it_read_in_a_new_file) {
    // Saved as it came, sound or not, readable by its owner whatever the
    // umask; the report and exit status are as they would be without --save.
    // Where the file system can neither link nor rename without replacing
    // (exFAT, SMB: the calls fail as strace makes them), the name is written
    // itself; where even that fails, the capture is kept beside it.
    std::string bad = example_stream;
    bad[26 * 46 + 5 + 10] = '0';
    const std::vector<std::string> no_links = {"strace", "-f",
                                               "-o",     "/dev/null",
                                               "-e",     "inject=link:error=EPERM",
                                               "-e",     "inject=renameat2:error=EINVAL"};
    const std::vector<std::string> rename_alone = {"strace",    "-f", "-o",
                                                   "/dev/null", "-e", "inject=link:error=EPERM"};
    std::vector<std::string> nor_a_new_name = no_links;
    nor_a_new_name.insert(nor_a_new_name.end(), {"-e", "inject=openat:error=EACCES:when=3"});
    // The new name made, but its write failing on the way to the disk.
    std::vector<std::string> nor_written = no_links;
    nor_written.insert(nor_written.end(), {"-e", "inject=fsync:error=EIO:when=2"});
    // The file beside the name failing as it is closed (NFS).
    const std::vector<std::string> unclosed = {"strace", "-f",
                                               "-o",     "/dev/null",
                                               "-P",     tmp.path + "/unclosed.bin.part0",
                                               "-e",     "trace=close",
                                               "-e",     "inject=close:error=EIO"};
    // A name as long as the file system takes, whose file beside it is cut
    // short at the end of a character (the "é" goes whole).
    const std::string kept = tmp.path + "/" + std::string(248, 'k') + "\xC3\xA9kkkkk";
    struct row {
        std::string bytes, save_to;
        std::vector<std::string> run_under;
        int status;
        std::string err, saved_in; // "-": nothing is saved
        long size_limit = -1;
        bool unix_only = false;
    } const rows[] = {
        {example_stream, tmp.path + "/sound.bin", {}, 0, "", ""},
        {bad,
         tmp.path + "/faulty.bin",
         {},
         1,
         "freqimg-inspect: " + stream_path +
             ": frame 26 (address 01A0): checksum is 86, record sums to E0\n",
         ""},
        // As long a name as the file system takes: the file beside it fits.
        // (Windows' own calls stop at paths of 260 characters.)
        {example_stream, tmp.path + "/" + std::string(255, 'n'), {}, 0, "", "", -1, true},
        {example_stream,
         tmp.path + "/masked.bin",
         {"/bin/sh", "-c", "umask 777 && exec \"$@\"", "sh"},
         0,
         "",
         ""},
        {example_stream, tmp.path + "/renamed.bin", rename_alone, 0, "", ""},
        {example_stream, tmp.path + "/linkless.bin", no_links, 0, "", ""},
        {example_stream, kept, nor_a_new_name, 1,
         "freqimg-inspect: " + kept + ": cannot save: Permission denied; the bytes are kept in " +
             tmp.path + "/" + std::string(248, 'k') + ".part0\n",
         tmp.path + "/" + std::string(248, 'k') + ".part0"},
        {example_stream, tmp.path + "/unwritten.bin", nor_written, 1,
         "freqimg-inspect: " + tmp.path +
             "/unwritten.bin: cannot save: Input/output error; the bytes are kept in " + tmp.path +
             "/unwritten.bin.part0\n",
         tmp.path + "/unwritten.bin.part0"},
        {example_stream, tmp.path + "/unclosed.bin", unclosed, 1,
         "freqimg-inspect: " + tmp.path + "/unclosed.bin: cannot save: Input/output error\n", "-"},
        // A file size limit fails the save; it does not end the run.
        {example_stream,
         tmp.path + "/limited.bin",
         {},
         1,
         "freqimg-inspect: " + tmp.path + "/limited.bin: cannot save: File too large\n",
         "-",
         1000},
    };
    std::size_t files = 1; // the stream
    for (const row &r : rows) {
        bool unix_only = r.unix_only || !r.run_under.empty() || r.size_limit >= 0;
        // No umask or size limit under Windows; no strace, or a leak checker
        // that cannot work under it.
        bool traced = !r.run_under.empty() && r.run_under[0] == "strace";
        if ((unix_only && under_wine()) ||
            (traced && (sanitized || std::system("strace -V >/dev/null 2>&1") != 0)))
            continue;
        write_file(stream_path, r.bytes);
        // The command itself, or a tracer's command line ending in it.
        const bool under = !r.run_under.empty();
        std::vector<std::string> args(r.run_under.begin() + (under ? 1 : 0), r.run_under.end());
        if (under)
            args.push_back(commands().inspect);
        args.insert(args.end(), {"--save", r.save_to, stream_path});
        run_result result =
            run_command(tmp.path, {.program = under ? r.run_under[0] : commands().inspect,
                                   .args = args,
                                   .file_size_limit = r.size_limit});
        EXPECT_EQ(result.exit_status, r.status) << r.save_to;
        EXPECT_EQ(result.err, r.err);
        EXPECT_EQ(result.out.empty(), r.bytes == bad) << r.save_to;
        if (r.saved_in == "-") {
            EXPECT_FALSE(std::filesystem::exists(r.save_to));
            continue;
        }
        const std::string saved_in = r.saved_in.empty() ? r.save_to : r.saved_in;
        EXPECT_EQ(read_file(saved_in), r.bytes) << r.save_to;
        using std::filesystem::perms;
        const perms owner = perms::owner_read | perms::owner_write,
                    run = perms::owner_exec | perms::group_exec | perms::others_exec;
        EXPECT_EQ(std::filesystem::status(saved_in).permissions() & owner, owner) << r.save_to;
        EXPECT_EQ(std::filesystem::status(saved_in).permissions() & run, perms::none) << r.save_to;
        ++files;
    }
    // Nothing half written is left beside the backups.
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(tmp.path))
        --files;
    EXPECT_EQ(files, 0U);
}

TEST_F(inspect, and_send_refuse_the_users_own_terminal_as_their_input) {
    // Named as FILE it would wait for "the radio" on the keyboard; as
    // standard input nothing was piped in. Both commands read through one
    // reader, so they refuse in the same words.
    SKIP_UNDER_WINE("a terminal of the user's own");
    pty_pair users, line;
    const line_state users_before = users.state(), line_before = line.state();
    const std::string yours = ": is the terminal you type at, not a serial line\n";
    const std::string piped_nothing =
        "standard input is a terminal: pipe a stream in, or name a FILE or a serial line\n";
    struct row {
        std::string program;
        std::vector<std::string> args;
        std::string err;
    } const rows[] = {
        {commands().inspect, {"/dev/tty"}, "freqimg-inspect: /dev/tty" + yours},
        {commands().inspect, {users.device}, "freqimg-inspect: " + users.device + yours},
        {commands().inspect, {}, "freqimg-inspect: " + piped_nothing},
        {commands().send, {line.path}, "freqimg-send: " + piped_nothing},
    };
    for (const row &r : rows) {
        run_result result = run_command(
            tmp.path, {.program = r.program, .args = r.args, .stdin_terminal = users.device});
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, r.err);
        // cppcheck-suppress knownConditionTrueFalse ; read anew from the kernel
        EXPECT_TRUE(users.state() == users_before);
    }
    EXPECT_EQ(line.received(), "");
    EXPECT_TRUE(line.state() == line_before);
}

TEST_F(inspect, reads_options_the_gnu_way) {
    const std::string try_help = "Try 'freqimg-inspect --help' for more information.\n";
    struct row {
        std::vector<std::string> args;
        std::string err;
    } const rows[] = {
        {{"--frequency"}, "freqimg-inspect: unrecognized option '--frequency'\n"},
        {{"--timeout"}, "freqimg-inspect: option '--timeout' requires an argument\n"},
        {{"--freq-list=yes"}, "freqimg-inspect: option '--freq-list' doesn't allow an argument\n"},
        {{"-x", "a"}, "freqimg-inspect: invalid option -- 'x'\n"},
        {{"a", "b"}, "freqimg-inspect: extra operand 'b'\n"},
        {{"--timeout", "never"}, "freqimg-inspect: invalid timeout 'never'\n"},
    };
    for (const row &r : rows) {
        run_result result = run_inspect(r.args);
        EXPECT_EQ(result.exit_status, 2) << r.err;
        EXPECT_EQ(result.err, r.err + try_help);
    }
    // Abbreviations, operands before options, and "--" before an operand
    // that looks like an option.
    write_file(stream_path, example_stream);
    run_result list = run_inspect({stream_path, "--freq"});
    EXPECT_EQ(list.exit_status, 0) << list.err;
    EXPECT_EQ(list.out.substr(0, 27), "Channel  Transmit  Receive\n");
    write_file(tmp.path + "/-s", example_stream);
    run_result dashed =
        run_command(tmp.path, {.program = commands().inspect, .args = {"--", "-s"}});
    EXPECT_EQ(dashed.exit_status, 0) << dashed.err;

    EXPECT_EQ(run_inspect({"--help", "--frequency"}).exit_status, 0);
    EXPECT_EQ(run_inspect({"--vers"}).out,
              "freqimg-inspect (freqimg) " FREQIMG_VERSION "\n"
              "Copyright (C) 2026 The freqimg authors\n"
              "License MIT: <https://opensource.org/licenses/MIT>\n"
              "This is free software: you are free to change and redistribute it.\n"
              "There is NO WARRANTY, to the extent permitted by law.\n");
}

TEST_F(inspect, reports_help_that_cannot_be_written) {
    // Help that cannot be written is a failure like any other write.
    for (auto [where, reason] : {std::pair{output_to::dev_full, "No space left on device"},
                                 std::pair{output_to::closed, "Bad file descriptor"}}) {
        if (where == output_to::closed)
            SKIP_UNDER_WINE("a closed standard output");
        run_result r =
            run_command(".", {.program = commands().inspect, .args = {"--help"}, .output = where});
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, std::string("freqimg-inspect: write error: ") + reason + "\n");
    }
}

TEST_F(inspect, says_when_memory_is_exhausted) {
    // Short of memory, at whatever point, the run says so; it never aborts.
    SKIP_UNDER_WINE("an address-space limit");
    if (sanitized)
        GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
    // The largest input it takes, so that reading it needs memory.
    write_file(stream_path, example_stream + std::string((1 << 20) - 2944, 'x'));
    const std::string too_long =
        "freqimg-inspect: " + stream_path + ": stream is 1048576 bytes, not 2944\n";
    bool exhausted = false;
    for (long limit = 8 << 20; limit >= 2 << 20; limit -= 128 << 10) {
        run_result r = run_command(
            ".", {.program = commands().inspect, .args = {stream_path}, .memory_limit = limit});
        EXPECT_EQ(r.exit_status, 1) << "killed by signal " << r.signal << " at " << limit;
        bool short_of_memory = r.err == "freqimg-inspect: memory exhausted\n";
        EXPECT_TRUE(short_of_memory || r.err == too_long) << limit << ": " << r.err;
        exhausted = exhausted || short_of_memory;
    }
    EXPECT_TRUE(exhausted);
}

} // namespace
} // namespace freqimg_test
