// termios2 lives in the kernel's own headers, which cannot share a
// translation unit with the C library's <termios.h>.
#include "serial/termios2_linux.hpp"

#if defined(__linux__)
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>
#endif

#include <cstring>

namespace freqimg {

#if defined(__linux__) && defined(TCGETS2)

static_assert(sizeof(termios2) <= sizeof(exact_line_settings::bytes));

bool save_exact_settings(int fd, exact_line_settings &settings) {
    termios2 now{};
    settings.saved = ::ioctl(fd, TCGETS2, &now) == 0;
    if (settings.saved)
        std::memcpy(settings.bytes.data(), &now, sizeof now);
    return settings.saved;
}

bool restore_exact_settings(int fd, const exact_line_settings &settings) {
    if (!settings.saved)
        return false;
    termios2 saved{};
    std::memcpy(&saved, settings.bytes.data(), sizeof saved);
    return ::ioctl(fd, TCSETS2, &saved) == 0;
}

#else

bool save_exact_settings(int, exact_line_settings &settings) {
    settings.saved = false;
    return false;
}

bool restore_exact_settings(int, const exact_line_settings &) {
    return false;
}

#endif

} // namespace freqimg
