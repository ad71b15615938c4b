// Black-box tests of freqimg-send on real pseudo-terminal pairs, the
// kernel's own terminal layer: what arrives at the other end, the line's
// settings while it is held and after every way out, and each refusal.
#include "support/command_runner.hpp"

#include <gtest/gtest.h>

#include <termios.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace freqimg_test {
namespace {

namespace fs = std::filesystem;

const std::string example_stream = read_file(TEST_DATA_DIR "/example_stream.bin");

class send : public ::testing::Test {
  protected:
    temp_dir tmp;
    pty_pair line;
    const line_state before = line.state();

    run_options sender(std::vector<std::string> args, const std::string &input = "/dev/null") {
        return {.program = commands().send, .args = std::move(args), .input = input};
    }

    std::string stream_file(const std::string &bytes, const char *name = "stream.bin") {
        std::string path = tmp.path + "/" + name;
        write_file(path, bytes);
        return path;
    }

    // Starts a sender on the line with its output suspended, so that it
    // waits, and returns once the sender holds the line.
    started start_on_a_suspended_line(std::vector<std::string> args = {}) {
        EXPECT_EQ(::tcflow(line.terminal, TCOOFF), 0);
        args.push_back(line.path);
        started sending = start_command(tmp.path, sender(args, stream_file(example_stream)));
        EXPECT_TRUE(line.wait_until_raw());
        return sending;
    }

    // The line as it was, to the last field and the exact speed, and let go.
    void expect_line_as_before(const std::string &after) {
        EXPECT_TRUE(line.same_as(before)) << "settings changed " << after;
        EXPECT_FALSE(line.exclusive()) << "still held exclusively " << after;
    }
};

TEST_F(send, delivers_the_stream_byte_for_byte) {
    // The whole upload as a user types it.
    write_file(tmp.path + "/freq.dat", read_file(EXAMPLES_DIR "/freq.dat"));
    const std::string run = shell_prefix();
    run_result r =
        run_command(tmp.path, {.program = "/bin/sh",
                               .args = {"-c", run + "\"$0\" | " + run + "\"$1\" \"$2\"",
                                        commands().freqimg, commands().send, line.path}});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.err, ""); // nothing on success when standard error is no terminal
    EXPECT_EQ(line.received(), example_stream);
    expect_line_as_before("after success");

    // A stream freqimg would not write goes out as it stands, with a
    // warning. Options may be abbreviated and take their value after "=";
    // a COM port may be named in lower case or as a device.
    std::string edited = example_stream;
    edited.replace(5 * 46 + 5 + 16, 2, "01");
    edited.replace(5 * 46 + 5 + 38, 2, "08");
    std::string port = under_wine() ? "\\\\.\\com" + line.path.substr(3) : line.path;
    r = run_command(tmp.path, sender({port, stream_file(edited), "--spe=1200"}));
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(line.received(), edited);
    EXPECT_EQ(r.err, "freqimg-send: " + tmp.path +
                         "/stream.bin: warning: bytes differ from what freqimg writes; sending "
                         "it as it stands\n");
    expect_line_as_before("after a send at 1200 baud");
}

TEST_F(send, shows_what_has_left_the_port_on_a_terminal) {
    SKIP_UNDER_WINE("a terminal as standard error");
    run_options options = sender({"--speed", "1200", line.path, stream_file(example_stream)});
    options.stderr_to_tty = true;
    run_result r = run_command(tmp.path, options);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(line.received(), example_stream);
    std::string last = r.err.substr(r.err.rfind('\r', r.err.size() - 3));
    EXPECT_EQ(last.substr(0, 32), "\rsent 2944 bytes, 64 frames, in ") << r.err;
    EXPECT_NE(last.find(" s at 1200 baud"), std::string::npos) << r.err;
    EXPECT_EQ(last.substr(last.size() - 2), "\r\n") << r.err;
}

TEST_F(send, lists_the_ports_or_says_there_are_none) {
    // What ports this machine has is its own affair; the form is not.
    run_result r = run_command(tmp.path, sender({"--list-ports"}));
    if (r.exit_status == 1) {
        EXPECT_EQ(r.err.rfind("freqimg-send: no serial ports found: is the cable plugged in? ", 0),
                  0U)
            << r.err;
    } else {
        EXPECT_EQ(r.exit_status, 0) << r.err;
        EXPECT_FALSE(r.out.empty());
        for (std::size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos;
             at = end + 1)
            EXPECT_NE(r.out.substr(at, end - at).find("  "), std::string::npos) << r.out;
    }
    // On a machine without any (a /sys of its own, empty).
    if (!under_wine() && can_hide_dev()) {
        run_options bare = sender({"--list-ports"});
        bare.without_sys = true;
        run_result none = run_command(tmp.path, bare);
        EXPECT_EQ(none.exit_status, 1);
        EXPECT_EQ(none.err, "freqimg-send: no serial ports found: is the cable plugged in? 'dmesg' "
                            "shows what the system saw when it was plugged in\n");
        EXPECT_EQ(none.out, "");
    }
    run_result extra = run_command(tmp.path, sender({"--list-ports", line.path}));
    EXPECT_EQ(extra.exit_status, 2);
    EXPECT_EQ(extra.err, "freqimg-send: extra operand '" + line.path +
                             "'\nTry 'freqimg-send --help' for more information.\n");
}

TEST_F(send, refuses_before_sending_anything) {
    std::string bad_checksum = example_stream;
    bad_checksum[26 * 46 + 5 + 10] = '0';
    const std::string no_port = "/nonexistent/ttyUSB0";
    const std::string stream = stream_file(example_stream);
    const std::string try_help = "Try 'freqimg-send --help' for more information.\n";
    struct row {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string err;
    } const rows[] = {
        // An empty input: freqimg failed upstream.
        {{line.path},
         "/dev/null",
         1,
         "freqimg-send: standard input: stream is 0 bytes, not 2944\n"},
        {{line.path, "-"},
         stream_file(bad_checksum, "bad.bin"),
         1,
         "freqimg-send: standard input: frame 26 (address 01A0): checksum is 86, record sums "
         "to E0\n"},
        // PORT is checked before any input is read.
        {{no_port},
         "/dev/null",
         1,
         "freqimg-send: " + no_port +
             ": cannot open: No such file or directory (freqimg-send --list-ports shows the "
             "serial ports)\n"},
        {{tmp.path}, "/dev/null", 1, "freqimg-send: " + tmp.path + ": not a serial line\n"},
        // Names and values reach the terminal escaped: no forged line.
        {{no_port + "\nfreqimg-send: sent"},
         "/dev/null",
         1,
         "freqimg-send: '" + no_port +
             "'$'\\n''freqimg-send: sent': cannot open: No such file or directory "
             "(freqimg-send --list-ports shows the serial ports)\n"},
        {{"--speed=\x1B[2J", line.path},
         "/dev/null",
         2,
         "freqimg-send: invalid speed ''$'\\033''[2J'\n" + try_help},
        // The operands the wrong way round: the line named as FILE is never
        // borrowed and waited on.
        {{stream, line.path}, "/dev/null", 1, "freqimg-send: " + stream + ": not a serial line\n"},
        // The port as the input too: it would wait for ever for a stream.
        {{line.path, line.path},
         "/dev/null",
         1,
         "freqimg-send: " + line.path +
             ": is the port the stream goes to; give the stream's file, or pipe it in\n"},
        {{null_device()}, stream, 1, "freqimg-send: " + null_device() + ": not a serial line\n"},
        {{}, "/dev/null", 2, "freqimg-send: missing port operand\n" + try_help},
        {{"--speed=+9600", line.path},
         "/dev/null",
         2,
         "freqimg-send: invalid speed '+9600'\n" + try_help},
        {{"--speed", "12345", line.path},
         "/dev/null",
         2,
         "freqimg-send: invalid speed '12345'\n" + try_help},
        {{"--timeout=0", line.path},
         "/dev/null",
         2,
         "freqimg-send: invalid timeout '0'\n" + try_help},
        {{line.path, "a", "b"}, "/dev/null", 2, "freqimg-send: extra operand 'b'\n" + try_help},
        {{line.path, "--timeout"},
         "/dev/null",
         2,
         "freqimg-send: option '--timeout' requires an argument\n" + try_help},
        {{"--speeds=9600", line.path},
         "/dev/null",
         2,
         "freqimg-send: unrecognized option '--speeds=9600'\n" + try_help},
        {{"-s", line.path}, "/dev/null", 2, "freqimg-send: invalid option -- 's'\n" + try_help},
        {{"--help=x"},
         "/dev/null",
         2,
         "freqimg-send: option '--help' doesn't allow an argument\n" + try_help},
    };
    for (const row &r : rows) {
        run_result result = run_command(tmp.path, sender(r.args, r.input));
        EXPECT_EQ(result.exit_status, r.status) << r.err;
        EXPECT_EQ(result.err, r.err);
    }
    EXPECT_EQ(line.received(), "");
    expect_line_as_before("after a refused stream");
}

TEST_F(send, refuses_a_terminal_that_is_no_free_serial_line) {
    // As PORT (/dev/tty, "$(tty)"), a pseudo-terminal master or the system
    // console, a terminal must not be sent to: the stream would reach the
    // screen, nobody, or be mixed with kernel messages. Each is refused
    // before any input is read: a FIFO that no one writes would hang a run
    // that read it first. (The user's terminal as standard input: with
    // freqimg-inspect's cases.)
    SKIP_UNDER_WINE("Unix terminals");
    pty_pair users;
    const line_state users_before = users.state();
    const std::string stream = tmp.path + "/never-written";
    ASSERT_EQ(::mkfifo(stream.c_str(), 0600), 0);
    const std::string yours = ": is the terminal you type at, not a serial line\n";
    struct row {
        std::vector<std::string> args;
        std::string err;
    } const rows[] = {
        {{"/dev/tty", stream}, "/dev/tty" + yours},
        {{users.device, stream}, users.device + yours},
        {{"/dev/ptmx", stream}, "/dev/ptmx: is a pseudo-terminal master, not a serial line\n"},
        {{"/dev/console", stream}, "/dev/console: is the system console, not a free serial line\n"},
    };
    for (const row &r : rows) {
        if (r.args[0] == "/dev/console" && !fs::exists(r.args[0]))
            continue;
        run_options options = sender(r.args);
        options.stdin_terminal = users.device;
        run_result result = run_command(tmp.path, options);
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, "freqimg-send: " + r.err);
        // cppcheck-suppress knownConditionTrueFalse ; read anew from the kernel
        EXPECT_TRUE(users.state() == users_before);
    }
    EXPECT_EQ(users.received(), "");
    expect_line_as_before("after refusing the user's terminal");
}

TEST_F(send, sets_the_line_while_it_holds_it_and_puts_it_back_on_every_signal) {
    // SIGKILL alone cannot be caught; every other signal that ends the
    // process must leave the line as it was and let go of it. A Windows
    // program sees only SIGINT, which Wine makes a Ctrl-C; it ends as Ctrl-C
    // ends one (0xC000013A, 58 in the low byte a POSIX parent sees).
    std::vector<int> signals{SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,  SIGPIPE,
                             SIGALRM, SIGUSR1, SIGUSR2, SIGRTMIN, SIGRTMAX};
    if (under_wine())
        signals = {SIGINT};
    // A signal that does not end the process (a resized window) leaves the
    // line held as it is, and the send goes on.
    if (!under_wine()) {
        started sending = start_on_a_suspended_line({"--speed", "4800"});
        ::kill(sending.pid, SIGWINCH);
        ::kill(sending.pid, SIGCHLD);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(line.held_fault(4800), "");
        EXPECT_TRUE(line.exclusive());
        ::tcflow(line.terminal, TCOON);
        EXPECT_EQ(line.received(), example_stream);
        EXPECT_EQ(finish_command(sending).exit_status, 0);
        expect_line_as_before("after a send that a window's resizing did not stop");
    }
    for (int signal : signals) {
        started sending = start_on_a_suspended_line({"--speed", "4800"});
        EXPECT_EQ(line.held_fault(4800), "") << strsignal(signal);
        EXPECT_TRUE(under_wine() || line.exclusive());
        ::kill(sending.pid, signal);
        run_result r = finish_command(sending);
        if (under_wine())
            EXPECT_EQ(r.exit_status, 0x3A) << r.err;
        else
            EXPECT_EQ(r.signal, signal) << strsignal(signal) << ": " << r.err;
        expect_line_as_before(std::string("after ") + strsignal(signal));
        // What was queued is discarded, not sent once the line resumes.
        ::tcflow(line.terminal, TCOON);
        EXPECT_EQ(line.received(), "") << strsignal(signal);
    }
}

TEST_F(send, times_out_on_a_suspended_line) {
    ASSERT_EQ(::tcflow(line.terminal, TCOOFF), 0);
    auto start = std::chrono::steady_clock::now();
    run_result r =
        run_command(tmp.path, sender({"--timeout", "1", line.path}, stream_file(example_stream)));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err,
              "freqimg-send: " + line.path + ": timed out after 1 s with 0 of 2944 bytes sent\n");
    EXPECT_GE(took, std::chrono::seconds(1));
    EXPECT_LT(took, std::chrono::seconds(2));
    expect_line_as_before("after a timeout");
    ::tcflow(line.terminal, TCOON);
    EXPECT_EQ(line.received(), "");
}

TEST_F(send, leaves_a_line_another_program_holds) {
    SKIP_UNDER_WINE("Wine does not keep a COM port to the program that opened it");
    started first = start_on_a_suspended_line();
    run_result second = run_command(tmp.path, sender({line.path}, stream_file(example_stream)));
    EXPECT_EQ(second.exit_status, 1);
    EXPECT_EQ(second.err, "freqimg-send: " + line.path + ": in use by another program\n");
    ::kill(first.pid, SIGTERM);
    finish_command(first);
    ::tcflow(line.terminal, TCOON);
    line.received();

    // A program that holds the line in the kernel's exclusive mode alone,
    // which a privileged opener would get past.
    ASSERT_EQ(::ioctl(line.terminal, TIOCEXCL), 0);
    second = run_command(tmp.path, sender({line.path}, stream_file(example_stream)));
    EXPECT_EQ(second.err, "freqimg-send: " + line.path + ": in use by another program\n");
    ::ioctl(line.terminal, TIOCNXCL);
    EXPECT_EQ(line.received(), "");

    // A program that marks the port with a UUCP lock file only (minicom):
    // a live holder keeps it, a stale lock does not.
    std::string lock = std::string("/var/lock/") + line.lock_name();
    if (!std::ofstream(lock))
        GTEST_SKIP() << "cannot write lock files in /var/lock here";
    pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    struct row {
        pid_t holder;
        std::string err;
    } const rows[] = {
        {1, "freqimg-send: " + line.path + ": in use by another program (process 1)\n"},
        {gone, ""},
    };
    auto mark = [&lock](pid_t holder) {
        std::FILE *f = std::fopen(lock.c_str(), "w");
        std::fprintf(f, "%10d\n", static_cast<int>(holder));
        std::fclose(f);
    };
    for (const row &r : rows) {
        mark(r.holder);
        run_result result = run_command(tmp.path, sender({line.path}, stream_file(example_stream)));
        EXPECT_EQ(result.err, r.err);
        EXPECT_EQ(line.received(), r.err.empty() ? example_stream : "");
    }
    // The lock of a line given as standard input is found by its name.
    mark(1);
    run_result inspected = run_inspect({}, line.device);
    EXPECT_EQ(inspected.exit_status, 1);
    EXPECT_EQ(inspected.err,
              "freqimg-inspect: standard input: in use by another program (process 1)\n");
    std::remove(lock.c_str());
}

TEST_F(send, tells_a_user_without_permission_how_to_get_it) {
    // Copies of both programs that any user can run, and a line owned by a
    // group that user is not in.
    SKIP_UNDER_WINE("an unprivileged user");
    fs::permissions(tmp.path, fs::perms(0755));
    std::string inspector = tmp.path + "/freqimg-inspect", sender_copy = tmp.path + "/freqimg-send";
    fs::copy_file(commands().inspect, inspector);
    fs::copy_file(commands().send, sender_copy);
    const group *dialout = ::getgrgid(20); // cppcheck-suppress getgrgidCalled ; one thread
    if (!can_run_unprivileged(inspector) || dialout == nullptr)
        GTEST_SKIP() << "cannot run as an unprivileged user, or no group 20, on this machine";
    const std::string stream = stream_file(example_stream);
    const std::string hint = line.path + ": cannot open: Permission denied; " + line.path +
                             " belongs to group " + dialout->gr_name +
                             ": add yourself with 'sudo usermod -aG " + dialout->gr_name +
                             " nobody' and log in again\n";
    struct row {
        mode_t mode;
        std::string program;
        std::vector<std::string> args;
        std::string err;
    } const rows[] = {
        {0660, sender_copy, {line.path, stream}, "freqimg-send: " + hint},
        {0660, inspector, {line.path}, "freqimg-inspect: " + hint},
        // The inspector only reads: a line the user may only read will do.
        {0444, inspector, {"--timeout", "0.5", line.path}, ""},
    };
    for (const row &r : rows) {
        ASSERT_EQ(::chown(line.device.c_str(), 0, 20), 0);
        ASSERT_EQ(::chmod(line.device.c_str(), r.mode), 0);
        started run =
            start_command(tmp.path, {.program = r.program, .args = r.args, .unprivileged = true});
        if (r.err.empty()) {
            ASSERT_TRUE(line.wait_until_raw());
            line.send(example_stream);
        }
        run_result result = finish_command(run);
        EXPECT_EQ(result.err, r.err);
        EXPECT_EQ(result.exit_status, r.err.empty() ? 0 : 1) << r.program;
        EXPECT_TRUE(line.same_as(before));
    }
}

TEST_F(send, reports_a_line_that_hangs_up) {
    // As when the cable is pulled out: the line fails with EIO mid-send.
    started sending = start_on_a_suspended_line();
    ::close(line.controller);
    line.controller = -1;
    run_result r = finish_command(sending);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "freqimg-send: " + line.path +
                         ": write error with 0 of 2944 bytes sent: Input/output error\n");
}

} // namespace
} // namespace freqimg_test
