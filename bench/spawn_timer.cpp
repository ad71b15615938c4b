// Times whole runs of two commands, alternating so that both see the same
// machine, and prints the median wall time of each and their ratio.
//
// usage: spawn_timer RUNS -- COMMAND_A... -- COMMAND_B...
// Both run in the current directory with standard output on /dev/null.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

double run_once(char *const argv[], const posix_spawn_file_actions_t *actions) {
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], actions, nullptr, argv, environ) != 0) {
        std::perror(argv[0]);
        std::exit(2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "spawn_timer: %s failed\n", argv[0]);
        std::exit(2);
    }
    return static_cast<double>(end.tv_sec - start.tv_sec) * 1e6 +
           static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e3;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 5 || std::strcmp(argv[2], "--") != 0) {
        std::fprintf(stderr, "usage: spawn_timer RUNS -- COMMAND_A... -- COMMAND_B...\n");
        return 2;
    }
    int runs = std::atoi(argv[1]);
    std::vector<char *> a, b;
    int i = 3;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        a.push_back(argv[i]);
    for (++i; i < argc; ++i)
        b.push_back(argv[i]);
    if (runs < 1 || a.empty() || b.empty()) {
        std::fprintf(stderr, "usage: spawn_timer RUNS -- COMMAND_A... -- COMMAND_B...\n");
        return 2;
    }
    a.push_back(nullptr);
    b.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);

    std::vector<double> ta, tb;
    for (int k = 0; k < runs; ++k) {
        ta.push_back(run_once(a.data(), &actions));
        tb.push_back(run_once(b.data(), &actions));
    }
    double ma = median(ta), mb = median(tb);
    std::printf("median wall: %s %.1f us, %s %.1f us, ratio %.3f (%d runs each)\n", a[0], ma, b[0],
                mb, ma / mb, runs);
    return 0;
}
