// Runs the built freqimg as a user would: in a directory of its own, with
// standard output sent where a test says.
#pragma once

#include <string>
#include <vector>

namespace freqimg_test {

enum class output_to { pipe, closed, dev_full, gone_reader };

struct run_options {
    output_to output = output_to::pipe;
    bool no_file_space = false; // file size limit 0, SIGXFSZ ignored
    bool unprivileged = false;  // run as user and group 65534
    std::vector<std::string> args;
    std::string program = FREQIMG_PATH;
    std::string input = "/dev/null"; // standard input
};

struct run_result {
    int exit_status = -1; // -1 when ended by a signal
    std::string out, err;
};

run_result run_freqimg(const std::string &dir, const run_options &options = {});

// Runs freqimg-inspect with `args`, standard input from `input`.
run_result run_inspect(const std::vector<std::string> &args,
                       const std::string &input = "/dev/null");

// Returns true when `program` can be run as an unprivileged user here.
bool can_run_unprivileged(const std::string &program);

// A fresh directory, removed with all it holds at the end of the test.
struct temp_dir {
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    std::string path;
};

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);

} // namespace freqimg_test
