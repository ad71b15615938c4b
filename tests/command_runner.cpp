#include "command_runner.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace freqimg_test {
namespace {

constexpr uid_t nobody = 65534;

bool drop_privileges() {
    return ::geteuid() != 0 ||
           (::setgroups(0, nullptr) == 0 && ::setgid(nobody) == 0 && ::setuid(nobody) == 0);
}

std::string drain(int fd) {
    std::string s;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            s.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return s;
}

} // namespace

run_result run_freqimg(const std::string &dir, const run_options &options) {
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0)
        throw std::runtime_error("pipe");
    if (options.output == output_to::gone_reader)
        ::close(out[0]);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(err[1], 2);
        ::dup2(::open(options.input.c_str(), O_RDONLY), 0);
        switch (options.output) {
        case output_to::pipe:
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
        }
        if (options.no_file_space) {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit none{0, 0};
            ::setrlimit(RLIMIT_FSIZE, &none);
        }
        if (::chdir(dir.c_str()) != 0 || (options.unprivileged && !drop_privileges()))
            ::_exit(126);
        std::vector<char *> argv{const_cast<char *>(options.program.c_str())};
        for (const std::string &a : options.args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    run_result r;
    if (options.output != output_to::gone_reader)
        r.out = drain(out[0]);
    r.err = drain(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

run_result run_inspect(const std::vector<std::string> &args, const std::string &input) {
    run_options options;
    options.program = FREQIMG_INSPECT_PATH;
    options.args = args;
    options.input = input;
    return run_freqimg(".", options);
}

bool can_run_unprivileged(const std::string &program) {
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(drop_privileges() && ::access(program.c_str(), X_OK) == 0 ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

temp_dir::temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "freqimg-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp");
    path = pattern;
}

temp_dir::~temp_dir() {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
}

std::string read_file(const std::string &path) {
    std::string s;
    if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            s.append(buffer, n);
        std::fclose(f);
    }
    return s;
}

void write_file(const std::string &path, const std::string &bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + path);
}

} // namespace freqimg_test
