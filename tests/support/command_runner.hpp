// Runs the built commands as a user would: in a directory of their own, with
// standard output sent where a test says, under the limits a test sets.
#pragma once

#include "support/pty_pair.hpp"
#include "support/temp_dir.hpp"
#include "support/wine.hpp"

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace freqimg_test {

// The commands under test: those built beside the tests or, where the
// environment's FREQIMG_TEST_BIN names a folder, the ones in it (the
// Windows build's .exe files), run under FREQIMG_TEST_EMULATOR (wine).
struct commands_under_test {
    std::string freqimg, inspect, send;
};
const commands_under_test &commands();

enum class output_to {
    pipe,
    closed,
    dev_full,
    gone_reader, // a pipe whose reader has gone, SIGPIPE ignored
    full_pipe,   // a non-blocking pipe that is full when the run starts
    file,        // appended to run_options::output_file
};

// How a command is run; built with designated initializers, naming only
// what differs: run_options{.program = commands().inspect, .args = {"-"}}.
struct run_options {
    std::string program = commands().freqimg;
    std::vector<std::string> args{};
    std::string input = "/dev/null"; // standard input
    output_to output = output_to::pipe;
    std::string output_file{};
    long file_size_limit = -1; // bytes; -1 for none
    long memory_limit = -1;    // bytes of address space; -1 for none
    bool stdin_closed = false;
    std::string stdin_terminal{}; // a terminal to make standard input and the controlling terminal
    std::vector<int> ignored_signals{};
    bool stderr_to_tty = false; // a terminal of its own, read back as `err`
    bool without_dev = false;   // an empty /dev, as in a minimal chroot
    bool without_sys = false;   // an empty /sys: a machine without serial ports
    bool unprivileged = false;  // run as user and group 65534
};

struct run_result {
    int exit_status = -1; // -1 when ended by a signal
    int signal = 0;       // the signal that ended it
    bool hung = false;    // killed at the time limit
    std::string out, err;
};

// A command started and not yet waited for.
struct started {
    pid_t pid = -1;
    int out = -1, err = -1;
    bool delayed_reader = false; // full_pipe: the test reads only later
    std::size_t filler = 0;      // bytes that filled the pipe before the run
};

started start_command(const std::string &dir, const run_options &options);
// Waits for the command and collects its output; past `limit` it is killed.
run_result finish_command(const started &command,
                          std::chrono::seconds limit = std::chrono::seconds(30));

// Runs a command in `dir` and waits for it: freqimg unless `options` say
// otherwise.
run_result run_command(const std::string &dir, const run_options &options = {});

// Runs freqimg-inspect with `args`, standard input from `input`.
run_result run_inspect(const std::vector<std::string> &args,
                       const std::string &input = "/dev/null");

// Returns true when `program` can be run as an unprivileged user here.
bool can_run_unprivileged(const std::string &program);

// Returns true when a child can have a /dev of its own (a mount namespace).
bool can_hide_dev();

// True in a build with AddressSanitizer, which address-space limits break.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool sanitized = true;
#else
inline constexpr bool sanitized = false;
#endif
#else
inline constexpr bool sanitized = false;
#endif

} // namespace freqimg_test
