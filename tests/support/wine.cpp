#include "support/wine.hpp"

#include <cstdlib>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace freqimg_test {

// Starts one wineserver that stays, with no pipe of the tests', for every
// Windows program run after: without it each run starts Wine's services
// anew, seconds each, and they keep the pipes they were started with.
void start_persistent_wineserver() {
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd)
            ::dup2(null, fd);
        ::close_range(3, ~0U, 0);
        ::execlp("wineserver", "wineserver", "-p", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::waitpid(pid, nullptr, 0);
}

bool under_wine() {
    static const bool wine = [] {
        const char *emulator = std::getenv("FREQIMG_TEST_EMULATOR");
        bool set = emulator != nullptr && *emulator != '\0';
        if (set)
            start_persistent_wineserver();
        return set;
    }();
    return wine;
}

std::string shell_prefix() {
    return under_wine() ? std::getenv("FREQIMG_TEST_EMULATOR") + std::string(" ") : "";
}

std::string null_device() {
    return under_wine() ? "NUL" : "/dev/null";
}

} // namespace freqimg_test
