// Black-box tests of the built command. Each failure case names the fault it
// guards; every failure must print one message, exit 1, write no stream and
// leave the list and (where the run never got to them) the old strips alone.
#include "support/command_runner.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

namespace freqimg_test {
namespace {

namespace fs = std::filesystem;

const std::string example_list = read_file(EXAMPLES_DIR "/freq.dat");
constexpr const char *old_strip = "left by an earlier run";

class freqimg_run : public ::testing::Test {
  protected:
    temp_dir tmp;
    std::string dir = tmp.path;

    std::string at(const char *name) const { return dir + "/" + name; }

    void write_example_and_old_strips() {
        write_file(at("freq.dat"), example_list);
        write_file(at("temptx.dat"), old_strip);
        write_file(at("temprx.dat"), old_strip);
    }

    std::map<std::string, std::string> files() const {
        std::map<std::string, std::string> all;
        for (const auto &entry : fs::directory_iterator(dir)) {
            std::string &seen = all[entry.path().filename()];
            if (entry.is_symlink() || !entry.is_regular_file())
                seen = "(not a regular file)";
            else if (entry.file_size() > 1 << 20) // the sparse list: its size will do
                seen = std::to_string(entry.file_size()) + " bytes";
            else
                seen = read_file(entry.path());
        }
        return all;
    }

    // Runs freqimg expecting it to fail with `message` and leave every file
    // in the directory as it was.
    void expect_failure(const std::string &message, const run_options &options = {}) {
        auto before = files();
        run_result r = run_command(dir, options);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "freqimg: " + message + "\n");
        EXPECT_EQ(r.out.size(), 0U);
        EXPECT_EQ(files(), before);
    }
};

TEST_F(freqimg_run, writes_the_expected_stream_and_strips) {
    write_file(at("freq.dat"), example_list);
    run_result first = run_command(dir);
    EXPECT_EQ(first.exit_status, 0);
    EXPECT_EQ(first.err, "");
    EXPECT_EQ(first.out, read_file(TEST_DATA_DIR "/example_stream.bin"));
    EXPECT_EQ(read_file(at("temptx.dat")),
              "476425476450477175477200476525476875476550477250C76425C76425"
              "476650476900477050C76425476725476775C76425477325C76425C76425");
    EXPECT_EQ(read_file(at("temprx.dat")),
              "476425476450476425476450476525476875476550476500C76425C76425"
              "476650476900477050477100476725476775C76425476575C76425477350");

    // A second run, with arguments it must ignore, changes nothing but says
    // that the list is not the one named. A strip longer than its 120
    // bytes (of another program's) is cut to them.
    write_file(at("temprx.dat"), std::string(200, 'r'));
    run_result cut = run_command(dir);
    EXPECT_EQ(cut.exit_status, 0) << cut.err;
    EXPECT_EQ(read_file(at("temprx.dat")).size(), 120U);
    auto strips = files();
    run_result again = run_command(dir, {.args = {"--help", "-x", "other.dat"}});
    EXPECT_EQ(again.exit_status, 0);
    EXPECT_EQ(again.err, "freqimg: warning: arguments are ignored; the list is always freq.dat in "
                         "the working directory\n");
    EXPECT_EQ(again.out, first.out);
    EXPECT_EQ(files(), strips);
}

TEST_F(freqimg_run, warns_of_entries_that_are_no_frequency_and_sends_them) {
    std::string list = example_list;
    list.replace(list.find("476650"), 6, "47ab2f");  // channel 11, line 12
    list.replace(list.rfind("477350"), 6, "FFFFFF"); // channel 20, line 21
    list.replace(list.find("476425"), 6, "c76425");  // blank, in lower case
    // A twenty-first channel is not read, but not in silence either.
    write_file(at("freq.dat"), list + "\nExtra-21  476425  476425\n");
    run_result r = run_command(dir);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out.size(), 2944U);
    EXPECT_EQ(r.err, "freqimg: freq.dat:12: warning: channel 11 transmit field \"47ab2f\" is not a "
                     "frequency; it is sent as written\n"
                     "freqimg: freq.dat:21: warning: channel 20 receive field \"FFFFFF\" is not a "
                     "frequency; it is sent as written\n"
                     "freqimg: freq.dat:23: warning: the list goes on after channel 20; the rest "
                     "is not read\n");
    EXPECT_EQ(read_file(at("temptx.dat")).substr(60, 6), "47ab2f");
}

TEST_F(freqimg_run, warns_of_what_follows_the_list_wherever_it_begins) {
    // A twenty-first channel past the 64 KiB the list is read from, lines
    // ended as old Mac editors end them, and more blanks than are looked
    // through.
    std::string mac = example_list;
    mac.replace(mac.find("476650"), 6, "47ab2f"); // channel 11, line 12
    std::replace(mac.begin(), mac.end(), '\n', '\r');
    const std::string goes_on =
        ": warning: the list goes on after channel 20; the rest is not read\n";
    // The text after the list runs on past the next 64 KiB read, which
    // begins with line breaks of its own: the first line of it is named.
    std::string runs_on = example_list + std::string(70000, '\n') + "Extra-21";
    runs_on.resize(2 * (65536 + 1), 'x');
    runs_on += std::string(100, '\n') + "more";
    struct row {
        std::string list, err;
    } const rows[] = {
        {example_list + std::string(70000, '\n') + "Extra-21  476425  476425\n",
         "freqimg: freq.dat:70022" + goes_on},
        {runs_on, "freqimg: freq.dat:70022" + goes_on},
        {mac + "\rExtra-21",
         "freqimg: freq.dat:12: warning: channel 11 transmit field \"47ab2f\" is not a frequency; "
         "it is sent as written\nfreqimg: freq.dat:23" +
             goes_on},
        {example_list + std::string(17 << 20, ' ') + "Extra-21",
         "freqimg: freq.dat: warning: more than 16 MiB of blanks follow channel 20; the rest could "
         "not be read\n"},
        {example_list + std::string(16 << 20, ' '), ""},
    };
    for (const row &r : rows) {
        write_file(at("freq.dat"), r.list);
        run_result run = run_command(dir);
        EXPECT_EQ(run.exit_status, 0) << run.err;
        EXPECT_EQ(run.err, r.err);
        EXPECT_EQ(run.out.size(), 2944U);
    }
}

TEST_F(freqimg_run, reads_a_list_that_ends_at_the_64_KiB_edge) {
    // The last label grows until the 63rd token ends at byte 65536.
    std::string head = example_list.substr(0, example_list.rfind("Scan-Extra"));
    std::string tail = example_list.substr(head.size());
    tail.resize(tail.find('\n'));
    std::string edge = head + std::string(65536 - head.size() - tail.size(), 'L') + tail;
    ASSERT_EQ(edge.size(), 65536U);
    write_file(at("freq.dat"), edge + "\nand more tokens after it\n");
    run_result r = run_command(dir);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "freqimg: freq.dat:22: warning: the list goes on after channel 20; the rest "
                     "is not read\n");
    EXPECT_EQ(r.out, read_file(TEST_DATA_DIR "/example_stream.bin"));

    // One byte more and the list runs past the limit.
    write_file(at("freq.dat"), "L" + edge + "\n");
    expect_failure("freq.dat:21: no list of 63 fields in the first 65536 bytes");
}

TEST_F(freqimg_run, refuses_a_strip_that_is_another_of_its_files) {
    // Writing the strip would overwrite the list or the other strip.
    struct row {
        const char *link, *target;
        bool hard;
        const char *message;
    } const rows[] = {
        {"temptx.dat", "freq.dat", false, "temptx.dat: same file as freq.dat"},
        {"temprx.dat", "freq.dat", true, "temprx.dat: same file as freq.dat"},
        {"temprx.dat", "temptx.dat", false, "temprx.dat: same file as temptx.dat"},
    };
    for (const row &r : rows) {
        for (const char *name : {"freq.dat", "temptx.dat", "temprx.dat"})
            fs::remove(at(name));
        write_example_and_old_strips();
        fs::remove(at(r.link));
        if (r.hard)
            fs::create_hard_link(at(r.target), at(r.link));
        else
            fs::create_symlink(r.target, at(r.link));
        expect_failure(r.message);
        EXPECT_EQ(read_file(at("freq.dat")), example_list) << r.message;
    }
    // A standard output that is one of them: `freqimg >> freq.dat` would
    // append the stream to the list.
    SKIP_UNDER_WINE("Wine knows no file identity of a standard output given by Linux");
    for (const char *name : {"freq.dat", "temptx.dat", "temprx.dat"}) {
        for (const char *file : {"freq.dat", "temptx.dat", "temprx.dat"})
            fs::remove(at(file));
        write_example_and_old_strips();
        expect_failure(std::string("standard output: same file as ") + name,
                       {.output = output_to::file, .output_file = at(name)});
    }
}

TEST_F(freqimg_run, runs_at_the_same_time_in_one_directory) {
    const std::string stream = read_file(TEST_DATA_DIR "/example_stream.bin");
    write_file(at("freq.dat"), example_list);
    // Runs over the same list all succeed.
    for (int round = 0; round < 10; ++round) {
        std::vector<started> runs;
        for (int n = 0; n < 6; ++n)
            runs.push_back(start_command(dir, {}));
        for (started &run : runs) {
            run_result r = finish_command(run);
            EXPECT_EQ(r.exit_status, 0) << r.err;
            EXPECT_EQ(r.out, stream);
        }
    }
    // Runs over a list that changes under them may fail, but never mix two lists.
    std::string other_list = example_list;
    other_list.replace(other_list.find("476425"), 6, "476999");
    write_file(at("freq.dat"), other_list);
    const std::string other_stream = run_command(dir).out;
    for (int round = 0; round < 10; ++round) {
        std::vector<started> runs;
        for (int n = 0; n < 6; ++n) {
            runs.push_back(start_command(dir, {}));
            write_file(at("next"), n % 2 != 0 ? example_list : other_list);
            fs::rename(at("next"), at("freq.dat"));
        }
        for (started &run : runs) {
            run_result r = finish_command(run);
            if (r.exit_status == 0)
                EXPECT_TRUE(r.out == stream || r.out == other_stream);
            else
                EXPECT_NE(r.err.find("changed since it was written"), std::string::npos) << r.err;
        }
    }
}

TEST_F(freqimg_run, rejects_a_bad_list_before_writing_anything) {
    // A missing list must not produce an image of garbage.
    write_file(at("temptx.dat"), old_strip);
    expect_failure("freq.dat: cannot open: No such file or directory");

    write_file(at("freq.dat.txt"), example_list); // Explorer hides the .txt
    expect_failure("freq.dat: cannot open: No such file or directory; there is a freq.dat.txt: "
                   "rename it to freq.dat");
    fs::remove(at("freq.dat.txt"));

    fs::create_directory(at("freq.dat"));
    expect_failure("freq.dat: not a regular file");
    fs::remove(at("freq.dat"));

    write_file(at("freq.dat"), "");
    expect_failure("freq.dat:1: list is empty");
    ASSERT_EQ(::truncate(at("freq.dat").c_str(), 1L << 30), 0);
    expect_failure("freq.dat:1: no list of 63 fields in the first 65536 bytes");

    std::string list = example_list;
    list.replace(list.find("476650"), 6,
                 std::string("4766\0"
                             "0",
                             6));
    write_file(at("freq.dat"), list);
    expect_failure("freq.dat:12: channel 11 transmit field \"4766\\x000\" is not six hex digits");

    write_file(at("freq.dat"), example_list.substr(0, example_list.rfind("Scan-Extra")));
    expect_failure("freq.dat:20: list ends before the label of channel 20");
}

TEST_F(freqimg_run, refuses_a_list_linked_to_a_device) {
    // One endless token must end in bounded time; a file that fails to be
    // read (the process's own memory at address 0) is a read error.
    SKIP_UNDER_WINE("a link to a Unix device");
    write_file(at("temptx.dat"), old_strip);
    fs::create_symlink("/dev/zero", at("freq.dat"));
    expect_failure("freq.dat: not a regular file");
    fs::remove(at("freq.dat"));
    fs::create_symlink("/proc/self/mem", at("freq.dat"));
    expect_failure("freq.dat: read error: Input/output error");
}

TEST_F(freqimg_run, reports_a_closed_standard_output_before_writing_anything) {
    // A closed standard output must neither pass for success nor let a file
    // take its descriptor; nothing is written at all.
    SKIP_UNDER_WINE("a closed standard output");
    write_example_and_old_strips();
    expect_failure("write error: Bad file descriptor", {.output = output_to::closed});
}

TEST_F(freqimg_run, keeps_the_stream_off_the_users_terminal_and_writes_any_other) {
    // Binary typed out at the terminal one types at helps nobody; a serial
    // line given as standard output is written as any file is.
    SKIP_UNDER_WINE("a terminal of the user's own");
    write_example_and_old_strips();
    pty_pair users, line;
    expect_failure(
        "standard output is the terminal you type at: keep the stream with 'freqimg > "
        "upload.bin', or send it with 'freqimg | freqimg-send PORT'",
        {.output = output_to::file, .output_file = users.device, .stdin_terminal = users.device});
    EXPECT_EQ(users.received(), "");
    run_result r = run_command(dir, {.output = output_to::file, .output_file = line.device});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(line.received(), read_file(TEST_DATA_DIR "/example_stream.bin"));
}

TEST_F(freqimg_run, reports_a_standard_output_that_cannot_take_the_stream) {
    write_example_and_old_strips();
    run_result full = run_command(dir, {.output = output_to::dev_full});
    EXPECT_EQ(full.exit_status, 1);
    EXPECT_EQ(full.err, "freqimg: write error: No space left on device\n");

    run_result gone = run_command(dir, {.output = output_to::gone_reader});
    EXPECT_EQ(gone.exit_status, 1);
    EXPECT_EQ(gone.err, "freqimg: write error: Broken pipe\n");
    EXPECT_EQ(read_file(at("freq.dat")), example_list);
}

TEST_F(freqimg_run, takes_back_what_a_full_disk_cut_short) {
    // A file that takes part of the stream and then no more must not keep
    // the part, which could later be sent for a whole stream.
    SKIP_UNDER_WINE("Wine cannot cut a file it was given as standard output");
    small_disk disk(2);
    if (disk.path.empty())
        GTEST_SKIP() << "cannot mount a small file system of its own on this machine";
    write_file(at("freq.dat"), example_list);
    run_options options{.output = output_to::file, .output_file = disk.path + "/upload.bin"};
    const std::string before(4000, 'k'); // the stream would begin a second page
    write_file(options.output_file, before);
    disk.fill();
    run_result r = run_command(dir, options);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "freqimg: write error: No space left on device\n");
    EXPECT_EQ(read_file(options.output_file), before);
}

TEST_F(freqimg_run, sends_nothing_when_a_full_disk_takes_no_strip) {
    small_disk disk(2);
    if (disk.path.empty())
        GTEST_SKIP() << "cannot mount a small file system of its own on this machine";
    write_file(disk.path + "/freq.dat", example_list);
    disk.fill();
    run_result r = run_command(disk.path);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "freqimg: temptx.dat: write error: No space left on device\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file(disk.path + "/freq.dat"), example_list);
}

TEST_F(freqimg_run, takes_back_what_a_file_size_limit_cut_short) {
    SKIP_UNDER_WINE("a file size limit, which Windows does not have");
    write_example_and_old_strips();
    run_options limited{.output = output_to::file,
                        .output_file = tmp.path + "/upload.bin",
                        .file_size_limit = 2000};
    write_file(limited.output_file, "kept from before\n");
    run_result cut = run_command(dir, limited);
    EXPECT_EQ(cut.exit_status, 1);
    EXPECT_EQ(cut.err, "freqimg: write error: File too large\n");
    EXPECT_EQ(read_file(limited.output_file), "kept from before\n");

    // A strip under the limit cannot be written, so no stream may go out;
    // the list stays as it was.
    cut = run_command(dir, {.file_size_limit = 0});
    EXPECT_EQ(cut.exit_status, 1);
    EXPECT_EQ(cut.err, "freqimg: temptx.dat: write error: File too large\n");
    EXPECT_EQ(cut.out, "");
    EXPECT_EQ(read_file(at("freq.dat")), example_list);
}

TEST_F(freqimg_run, appends_to_a_file_and_keeps_what_it_held) {
    write_file(at("freq.dat"), example_list);
    run_options append{.output = output_to::file, .output_file = tmp.path + "/upload.bin"};
    write_file(append.output_file, "kept from before\n");
    run_result r = run_command(dir, append);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(read_file(append.output_file),
              "kept from before\n" + read_file(TEST_DATA_DIR "/example_stream.bin"));
}

TEST_F(freqimg_run, delivers_the_whole_stream_to_an_output_that_must_be_waited_for) {
    // A non-blocking pipe that is full at first: the run waits, then writes.
    write_file(at("freq.dat"), example_list);
    run_result r = run_command(dir, {.output = output_to::full_pipe});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out, read_file(TEST_DATA_DIR "/example_stream.bin"));
}

TEST_F(freqimg_run, runs_without_dev_and_without_standard_input) {
    // Without /dev/null (a minimal chroot) a closed standard input is no
    // reason to fail: only standard output matters.
    SKIP_UNDER_WINE("no /dev");
    write_file(at("freq.dat"), example_list);
    if (!can_hide_dev())
        GTEST_SKIP() << "cannot give a run a /dev of its own on this machine";
    run_result r = run_command(dir, {.stdin_closed = true, .without_dev = true});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, read_file(TEST_DATA_DIR "/example_stream.bin"));
}

TEST_F(freqimg_run, reports_strip_files_that_cannot_be_written) {
    write_file(at("freq.dat"), example_list);
    fs::create_directory(at("temptx.dat"));
    expect_failure("temptx.dat: cannot create: Is a directory");
    fs::remove(at("temptx.dat"));
    fs::create_directory(at("temprx.dat"));
    run_result r = run_command(dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "freqimg: temprx.dat: cannot create: Is a directory\n");
    EXPECT_EQ(r.out, "");
    fs::remove(at("temprx.dat"));

    // A write the file system fails only as the file is closed (NFS, a
    // full disk behind a cache), as strace makes it fail.
    SKIP_UNDER_WINE("strace");
    if (sanitized || std::system("strace -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed, or cannot trace a sanitized build";
    ASSERT_EQ(run_command(dir).exit_status, 0); // strace follows a file that exists
    for (const char *strip : {"temptx.dat", "temprx.dat"}) {
        run_result closed =
            run_command(dir, {.program = "strace",
                              .args = {"-o", "/dev/null", "-P", strip, "-e", "trace=close", "-e",
                                       "inject=close:error=EIO", commands().freqimg}});
        EXPECT_EQ(closed.exit_status, 1);
        EXPECT_EQ(closed.err.substr(closed.err.find("freqimg: ")),
                  std::string("freqimg: ") + strip + ": write error: Input/output error\n");
        EXPECT_EQ(closed.out, "");
    }
}

TEST_F(freqimg_run, refuses_strips_that_are_no_regular_files_before_writing_anything) {
    // Written to first and blamed after, a device could take a strip (or,
    // as standard output, give its 120 characters to a run that fails).
    SKIP_UNDER_WINE("links to Unix devices");
    struct row {
        const char *strip, *target; // no target: a FIFO
    } const rows[] = {
        {"temptx.dat", "/dev/null"},
        {"temprx.dat", "/dev/zero"},
        {"temptx.dat", "/dev/stdout"},
        {"temprx.dat", nullptr},
    };
    for (const row &r : rows) {
        write_example_and_old_strips();
        fs::remove(at(r.strip));
        if (r.target != nullptr)
            fs::create_symlink(r.target, at(r.strip));
        else
            ASSERT_EQ(::mkfifo(at(r.strip).c_str(), 0600), 0);
        expect_failure(std::string(r.strip) + ": not a regular file");
        fs::remove(at(r.strip));
    }
}

TEST_F(freqimg_run, leaves_strips_their_owner_can_read_and_write_whatever_the_umask) {
    SKIP_UNDER_WINE("a umask");
    write_file(at("freq.dat"), example_list);
    run_result r =
        run_command(dir, {.program = "/bin/sh",
                          .args = {"-c", "umask 777 && exec \"$0\"", commands().freqimg}});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    for (const char *strip : {"temptx.dat", "temprx.dat"})
        EXPECT_EQ(fs::status(at(strip)).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write)
            << strip;
}

// Permission faults need a user the file modes apply to.
class freqimg_unprivileged : public freqimg_run {
  protected:
    run_options options;

    void SetUp() override {
        SKIP_UNDER_WINE("an unprivileged user");
        // A copy of the program that any user can reach.
        options.unprivileged = true;
        options.program = at("freqimg");
        fs::copy_file(commands().freqimg, options.program);
        fs::permissions(options.program, fs::perms(0755));
        fs::create_directory(at("work"));
        fs::permissions(dir, fs::perms(0755));
        if (!can_run_unprivileged(options.program))
            GTEST_SKIP() << "cannot run as an unprivileged user on this machine";
        dir = at("work");
        write_example_and_old_strips();
    }
};

TEST_F(freqimg_unprivileged, reports_an_unreadable_list) {
    fs::permissions(dir, fs::perms(0777));
    fs::permissions(at("freq.dat"), fs::perms::none);
    expect_failure("freq.dat: cannot open: Permission denied", options);
}

TEST_F(freqimg_unprivileged, tells_the_owner_of_a_file_shut_to_them_how_to_open_it) {
    // A mode left by hand, or by an earlier version, must not block every
    // run without a word on the way out.
    fs::permissions(dir, fs::perms(0777));
    const std::string mend = ": Permission denied; give yourself access with 'chmod u+rw ";
    struct row {
        const char *file;
        std::string message;
    } const rows[] = {
        {"freq.dat", "freq.dat: cannot open" + mend + "freq.dat'"},
        {"temptx.dat", "temptx.dat: cannot create" + mend + "temptx.dat'"},
        {"temprx.dat", "temprx.dat: cannot create" + mend + "temprx.dat'"},
    };
    for (const row &r : rows) {
        ASSERT_EQ(::chown(at(r.file).c_str(), 65534, 65534), 0);
        fs::permissions(at(r.file), fs::perms::none);
        run_result run = run_command(dir, options);
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.err, "freqimg: " + r.message + "\n");
        EXPECT_EQ(run.out, "");
        fs::permissions(at(r.file), fs::perms(0600));
    }
}

TEST_F(freqimg_unprivileged, reports_an_unwritable_directory) {
    fs::remove(at("temptx.dat"));
    fs::permissions(dir, fs::perms(0555));
    expect_failure("temptx.dat: cannot create: Permission denied", options);
}

} // namespace
} // namespace freqimg_test
