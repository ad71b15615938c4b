#include "support/command_runner.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace freqimg_test {
namespace {

constexpr uid_t nobody = 65534;

bool drop_privileges() {
    return ::geteuid() != 0 ||
           (::setgroups(0, nullptr) == 0 && ::setgid(nobody) == 0 && ::setuid(nobody) == 0);
}

// An empty folder in place of `dir` (/dev, /sys), in a mount namespace of
// the process's own.
bool hide(const char *dir) {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("none", dir, "tmpfs", 0, nullptr) == 0;
}

// Makes the terminal at `path` the controlling terminal of a new session
// and standard input, as for a user typing at it.
bool open_controlling_terminal(const std::string &path) {
    if (::setsid() < 0)
        return false;
    int fd = ::open(path.c_str(), O_RDWR);
    return fd >= 0 && ::ioctl(fd, TIOCSCTTY, 0) == 0 && ::dup2(fd, 0) == 0;
}

// Reads `fds` to their end (a terminal's end is EIO), closes them and
// returns what each held. Past `deadline` the command's process group is
// killed, so that a run that hangs fails its test instead of stopping the
// suite.
std::vector<std::string> drain(std::vector<int> fds, pid_t group,
                               std::chrono::steady_clock::time_point deadline, bool &killed) {
    std::vector<std::string> got(fds.size());
    std::vector<pollfd> open;
    for (int fd : fds)
        open.push_back({fd, POLLIN, 0});
    std::size_t left = fds.size();
    while (left > 0) {
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        int ready = ::poll(open.data(), open.size(),
                           killed ? -1 : std::max<int>(0, static_cast<int>(wait.count())));
        if (ready == 0 && !killed) {
            ::kill(-group, SIGKILL);
            killed = true;
            continue;
        }
        for (std::size_t i = 0; i < open.size(); ++i) {
            if (open[i].fd < 0 || open[i].revents == 0)
                continue;
            char buffer[4096];
            ssize_t n = ::read(open[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                got[i].append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(open[i].fd);
                open[i].fd = -1;
                --left;
            }
        }
    }
    return got;
}

// A pipe of one page, filled, whose writing end does not block.
std::size_t fill_pipe(int fds[2]) {
    ::fcntl(fds[1], F_SETPIPE_SZ, 4096);
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    static const std::string page(4096, 'x');
    std::size_t filled = 0;
    ssize_t n;
    while ((n = ::write(fds[1], page.data(), page.size())) > 0)
        filled += static_cast<std::size_t>(n);
    return filled;
}

void set_limit(int resource, long bytes) {
    if (bytes < 0)
        return;
    rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    ::setrlimit(resource, &limit);
}

} // namespace

const commands_under_test &commands() {
    static const commands_under_test found = [] {
        const char *bin = std::getenv("FREQIMG_TEST_BIN");
        if (bin == nullptr || *bin == '\0')
            return commands_under_test{FREQIMG_PATH, FREQIMG_INSPECT_PATH, FREQIMG_SEND_PATH};
        std::string dir = bin;
        return commands_under_test{dir + "/freqimg.exe", dir + "/freqimg-inspect.exe",
                                   dir + "/freqimg-send.exe"};
    }();
    return found;
}

started start_command(const std::string &dir, const run_options &options) {
    // Close-on-exec throughout, so that no run holds on to another's pipes
    // or to a test's terminal.
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    if (options.stderr_to_tty) {
        err[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (err[0] < 0 || ::grantpt(err[0]) != 0 || ::unlockpt(err[0]) != 0 ||
            (err[1] = ::open(::ptsname(err[0]), O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0)
            throw std::runtime_error("pseudo-terminal");
    } else if (::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    started command;
    if (options.output == output_to::gone_reader)
        ::close(out[0]);
    if (options.output == output_to::full_pipe) {
        command.filler = fill_pipe(out);
        command.delayed_reader = true;
    }
    command.pid = ::fork();
    if (command.pid == 0) {
        // A group of its own (in a session of its own, with a terminal),
        // so that a run that hangs is killed with all it started.
        ::dup2(err[1], 2);
        if (options.stdin_terminal.empty()) {
            ::setpgid(0, 0);
            ::dup2(::open(options.input.c_str(), O_RDONLY), 0);
        } else if (!open_controlling_terminal(options.stdin_terminal)) {
            ::_exit(126);
        }
        if (options.stdin_closed)
            ::close(0);
        switch (options.output) {
        case output_to::pipe:
        case output_to::full_pipe:
            ::dup2(out[1], 1);
            break;
        case output_to::closed:
            ::close(1);
            break;
        case output_to::dev_full:
            ::dup2(::open("/dev/full", O_WRONLY), 1);
            break;
        case output_to::gone_reader:
            ::signal(SIGPIPE, SIG_IGN);
            ::dup2(out[1], 1);
            break;
        case output_to::file:
            ::dup2(::open(options.output_file.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0666), 1);
            break;
        }
        // Nothing but the three standard streams reaches the program.
        ::close_range(3, ~0U, 0);
        for (int s : options.ignored_signals)
            ::signal(s, SIG_IGN);
        // A Windows program knows no SIGXFSZ: a size limit is a failed write.
        if (under_wine())
            ::signal(SIGXFSZ, SIG_IGN);
        set_limit(RLIMIT_FSIZE, options.file_size_limit);
        set_limit(RLIMIT_AS, options.memory_limit);
        if ((options.without_dev && !hide("/dev")) || (options.without_sys && !hide("/sys")) ||
            ::chdir(dir.c_str()) != 0 || (options.unprivileged && !drop_privileges()))
            ::_exit(126);
        std::vector<char *> argv;
        const std::string &program = options.program;
        if (under_wine() && program.size() > 4 && program.substr(program.size() - 4) == ".exe")
            argv.push_back(std::getenv("FREQIMG_TEST_EMULATOR"));
        argv.push_back(const_cast<char *>(program.c_str()));
        for (const std::string &a : options.args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    command.out = options.output == output_to::gone_reader ? -1 : out[0];
    command.err = err[0];
    return command;
}

run_result finish_command(const started &command, std::chrono::seconds limit) {
    run_result r;
    auto deadline = std::chrono::steady_clock::now() + limit;
    if (command.delayed_reader) // let the run find its output full first
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<int> fds{command.err};
    if (command.out >= 0)
        fds.push_back(command.out);
    std::vector<std::string> got = drain(fds, command.pid, deadline, r.hung);
    r.err = got[0];
    if (command.out >= 0)
        r.out = got[1].substr(std::min(command.filler, got[1].size()));
    int status = 0;
    ::waitpid(command.pid, &status, 0);
    r.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return r;
}

run_result run_command(const std::string &dir, const run_options &options) {
    started command = start_command(dir, options);
    return finish_command(command);
}

run_result run_inspect(const std::vector<std::string> &args, const std::string &input) {
    run_options options;
    options.program = commands().inspect;
    options.args = args;
    options.input = input;
    return run_command(".", options);
}

bool can_run_unprivileged(const std::string &program) {
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(drop_privileges() && ::access(program.c_str(), X_OK) == 0 ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool can_hide_dev() {
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(hide("/dev") && ::access("/dev/null", F_OK) != 0 ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
} // namespace freqimg_test
