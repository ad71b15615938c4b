// Black-box tests of the built command. Each failure case names the fault it
// guards; every failure must print one message, exit 1, write no stream and
// leave the list and (where the run never got to them) the old strips alone.
#include "command_runner.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

namespace freqimg_test {
namespace {

namespace fs = std::filesystem;

const std::string example_list = read_file(EXAMPLES_DIR "/freq.dat");
constexpr const char *old_strip = "left by an earlier run";

run_options sending_output_to(output_to where) {
    run_options options;
    options.output = where;
    return options;
}

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
        run_result r = run_freqimg(dir, options);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "freqimg: " + message + "\n");
        EXPECT_EQ(r.out.size(), 0U);
        EXPECT_EQ(files(), before);
    }
};

TEST_F(freqimg_run, writes_the_expected_stream_and_strips) {
    write_file(at("freq.dat"), example_list);
    run_result first = run_freqimg(dir);
    EXPECT_EQ(first.exit_status, 0);
    EXPECT_EQ(first.err, "");
    EXPECT_EQ(first.out, read_file(TEST_DATA_DIR "/example_stream.bin"));
    EXPECT_EQ(read_file(at("temptx.dat")),
              "476425476450477175477200476525476875476550477250C76425C76425"
              "476650476900477050C76425476725476775C76425477325C76425C76425");
    EXPECT_EQ(read_file(at("temprx.dat")),
              "476425476450476425476450476525476875476550476500C76425C76425"
              "476650476900477050477100476725476775C76425476575C76425477350");

    // A second run, with arguments it must ignore, changes nothing.
    auto strips = files();
    run_result again =
        run_freqimg(dir, {output_to::pipe, false, false, {"--help", "-x", "other.dat"}});
    EXPECT_EQ(again.exit_status, 0);
    EXPECT_EQ(again.out, first.out);
    EXPECT_EQ(files(), strips);
}

TEST_F(freqimg_run, rejects_a_bad_list_before_writing_anything) {
    // A missing list must not produce an image of garbage.
    write_file(at("temptx.dat"), old_strip);
    expect_failure("freq.dat: cannot open: No such file or directory");

    fs::create_directory(at("freq.dat"));
    expect_failure("freq.dat: not a regular file");
    fs::remove(at("freq.dat"));

    // One endless token must end in bounded time.
    fs::create_symlink("/dev/zero", at("freq.dat"));
    expect_failure("freq.dat: not a regular file");
    fs::remove(at("freq.dat"));

    write_file(at("freq.dat"), "");
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

TEST_F(freqimg_run, reports_a_standard_output_that_cannot_take_the_stream) {
    write_example_and_old_strips();
    // A closed standard output must neither pass for success nor let a file
    // take its descriptor; nothing is written at all.
    expect_failure("write error: Bad file descriptor", sending_output_to(output_to::closed));

    run_result full = run_freqimg(dir, sending_output_to(output_to::dev_full));
    EXPECT_EQ(full.exit_status, 1);
    EXPECT_EQ(full.err, "freqimg: write error: No space left on device\n");

    run_result gone = run_freqimg(dir, sending_output_to(output_to::gone_reader));
    EXPECT_EQ(gone.exit_status, 1);
    EXPECT_EQ(gone.err, "freqimg: write error: Broken pipe\n");
    EXPECT_EQ(read_file(at("freq.dat")), example_list);
}

TEST_F(freqimg_run, reports_strip_files_that_cannot_be_written) {
    write_file(at("freq.dat"), example_list);
    fs::create_directory(at("temptx.dat"));
    expect_failure("temptx.dat: cannot create: Is a directory");
    fs::remove(at("temptx.dat"));
    fs::create_directory(at("temprx.dat"));
    run_result r = run_freqimg(dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "freqimg: temprx.dat: cannot create: Is a directory\n");
    EXPECT_EQ(r.out, "");
    fs::remove(at("temprx.dat"));

    // A full disk: the strip cannot be written, so no stream may go out. The
    // strip being written is truncated, as any create-or-truncate write is;
    // the list stays as it was.
    run_options no_space;
    no_space.no_file_space = true;
    r = run_freqimg(dir, no_space);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "freqimg: temptx.dat: write error: File too large\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file(at("freq.dat")), example_list);

    // A strip that does not read back as written must not feed the image.
    fs::create_symlink("/dev/null", at("temprx.dat"));
    r = run_freqimg(dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "freqimg: temprx.dat: changed since it was written (0 bytes, not 120 hex "
                     "digits)\n");
    EXPECT_EQ(r.out, "");
}

// Permission faults need a user the file modes apply to.
class freqimg_unprivileged : public freqimg_run {
  protected:
    run_options options;

    void SetUp() override {
        // A copy of the program that any user can reach.
        options.unprivileged = true;
        options.program = at("freqimg");
        fs::copy_file(FREQIMG_PATH, options.program);
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

TEST_F(freqimg_unprivileged, reports_an_unwritable_directory) {
    fs::remove(at("temptx.dat"));
    fs::permissions(dir, fs::perms(0555));
    expect_failure("temptx.dat: cannot create: Permission denied", options);
}

} // namespace
} // namespace freqimg_test
