// Runs the built commands as a user would: in a directory of their own, with
// standard output sent where a test says, under the limits a test sets.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "line_state.hpp"

#include <sys/types.h>

namespace freqimg_test {

// The commands under test: those built beside the tests or, where the
// environment's FREQIMG_TEST_BIN names a folder, the ones in it (the
// Windows build's .exe files), run under FREQIMG_TEST_EMULATOR (wine).
struct commands_under_test {
    std::string freqimg, inspect, send;
};
const commands_under_test &commands();

// True when the commands are Windows programs run under Wine.
bool under_wine();

// Skips the rest of a test that cannot mean anything for a Windows program
// under Wine, saying why.
#define SKIP_UNDER_WINE(why)                                                                       \
    if (under_wine())                                                                              \
    GTEST_SKIP() << "cannot be shown under Wine: " << (why)

// What a shell command line puts before a command: the emulator, or nothing.
std::string shell_prefix();

// The null device, in the commands' own terms: /dev/null, or NUL.
std::string null_device();

enum class output_to {
    pipe,
    closed,
    dev_full,
    gone_reader, // a pipe whose reader has gone, SIGPIPE ignored
    full_pipe,   // a non-blocking pipe that is full when the run starts
    file,        // appended to run_options::output_file
};

struct run_options {
    output_to output = output_to::pipe;
    std::string output_file;
    long file_size_limit = -1; // bytes; -1 for none
    long memory_limit = -1;    // bytes of address space; -1 for none
    bool stdin_closed = false;
    std::string stdin_terminal; // a terminal to make standard input and the controlling terminal
    std::vector<int> ignored_signals;
    bool stderr_to_tty = false; // a terminal of its own, read back as `err`
    bool without_dev = false;   // an empty /dev, as in a minimal chroot
    bool without_sys = false;   // an empty /sys: a machine without serial ports
    bool unprivileged = false;  // run as user and group 65534
    std::vector<std::string> args;
    std::string program = commands().freqimg;
    std::string input = "/dev/null"; // standard input
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

run_result run_freqimg(const std::string &dir, const run_options &options = {});

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

// A pseudo-terminal pair: the program under test gets the terminal side at
// `path` (under Wine a COM port, COM10 and up, mapped to it); the test keeps
// the other end, and a descriptor of the terminal side to look at its
// settings and to suspend its output. The terminal starts from
// unusual_state, so that a program that puts it back wrong, or leaves part
// of it as it was while it holds it, is seen to.
struct pty_pair {
    pty_pair();
    ~pty_pair();
    pty_pair(const pty_pair &) = delete;
    pty_pair &operator=(const pty_pair &) = delete;

    line_state state() const;
    // Whether the line is as `before`: every field, or under Wine the part
    // a Windows program can set (dcb_part).
    bool same_as(const line_state &before) const;
    // What is wrong with the line for a send at `baud` (raw_8n1_fault), as
    // far as the program can set it.
    std::string held_fault(unsigned baud) const;
    // Waits until someone else has set the terminal side raw; false after 5 s.
    bool wait_until_raw() const;
    // Whether the kernel's exclusive mode is on.
    bool exclusive() const;
    // Bytes sent to the terminal side that nobody has read.
    std::size_t unread() const;
    // The name of the terminal side under /dev, as lock files give it.
    std::string lock_name() const;
    // Everything the other end receives until it has been quiet for `ms`.
    std::string received(int ms = 200) const;
    void send(const std::string &bytes) const;

    int controller = -1, terminal = -1;
    std::string path;
    std::string device;   // the terminal side under /dev
    std::string com_link; // Wine's mapping of `path`, if any
};

// A fresh directory, removed with all it holds at the end of the test.
struct temp_dir {
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    std::string path;
};

// A file system of `pages` memory pages of its own, mounted for the test,
// so that a write can find the disk full. `path` is empty where this
// machine cannot mount one.
struct small_disk {
    explicit small_disk(int pages);
    ~small_disk();
    small_disk(const small_disk &) = delete;
    small_disk &operator=(const small_disk &) = delete;
    // Takes up what room is left.
    void fill() const;
    std::string path;

  private:
    temp_dir mount_point;
};

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);

} // namespace freqimg_test
