// The Windows build against the Linux build of the same sources, under
// Wine: on the same inputs, the same exit status, output, messages and
// strip files, and the same reports of the same streams.
#include "support/command_runner.hpp"
#include "support/random_list.hpp"

#include <gtest/gtest.h>

namespace freqimg_test {
namespace {

const std::string example_list = read_file(EXAMPLES_DIR "/freq.dat");

struct outcome {
    run_result run;
    std::string tx, rx;
};

outcome run_in_a_folder(const std::string &program, const std::string &list) {
    temp_dir dir;
    write_file(dir.path + "/freq.dat", list);
    outcome o{run_command(dir.path, {.program = program}), read_file(dir.path + "/temptx.dat"),
              read_file(dir.path + "/temprx.dat")};
    return o;
}

run_result inspect_with(const std::string &program, const std::string &stream,
                        std::vector<std::string> args) {
    temp_dir dir;
    write_file(dir.path + "/stream.bin", stream);
    args.push_back("stream.bin");
    return run_command(dir.path, {.program = program, .args = std::move(args)});
}

TEST(windows_build, does_what_the_linux_build_does) {
    if (!under_wine())
        GTEST_SKIP() << "compares the Windows build, under Wine, with the Linux one";
    auto edited = [](std::string from, const char *what, const char *with) {
        return from.replace(from.find(what), std::string(what).size(), with);
    };
    std::vector<std::string> lists = {
        example_list,
        edited(example_list, "476650", "47ab2f"),
        edited(example_list, "476425", "c76425"),
        edited(example_list, "476650", "476.650"),
        edited(example_list, "476650", "4766500"),
        example_list + "Extra-21 476425 476425\n",
        example_list.substr(0, example_list.rfind("Scan-Extra")),
        "",
    };
    std::mt19937 rng(20261209);
    for (int n = 0; n < 20; ++n)
        lists.push_back(make_random_list(rng).text);
    for (const std::string &list : lists) {
        outcome linux_run = run_in_a_folder(FREQIMG_PATH, list);
        outcome windows_run = run_in_a_folder(commands().freqimg, list);
        EXPECT_EQ(windows_run.run.exit_status, linux_run.run.exit_status) << list;
        EXPECT_EQ(windows_run.run.out, linux_run.run.out) << list;
        EXPECT_EQ(windows_run.run.err, linux_run.run.err) << list;
        EXPECT_EQ(windows_run.tx, linux_run.tx) << list;
        EXPECT_EQ(windows_run.rx, linux_run.rx) << list;

        // The stream, and the stream with a byte gone wrong.
        std::string damaged = linux_run.run.out;
        if (!damaged.empty())
            damaged[1000] = 'x';
        for (const std::string &stream : {linux_run.run.out, damaged})
            for (const std::vector<std::string> &args :
                 {std::vector<std::string>{}, std::vector<std::string>{"--freq-list"}}) {
                run_result a = inspect_with(FREQIMG_INSPECT_PATH, stream, args);
                run_result b = inspect_with(commands().inspect, stream, args);
                EXPECT_EQ(b.exit_status, a.exit_status);
                EXPECT_EQ(b.out, a.out);
                EXPECT_EQ(b.err, a.err);
            }
    }
}

} // namespace
} // namespace freqimg_test
