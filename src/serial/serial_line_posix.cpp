// serial_line.hpp on POSIX terminals (termios), with Linux's exclusive mode
// where the platform has it.

#include "serial_line.hpp"

#include "channel_files.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

namespace freqimg {
namespace {

struct line_speed {
    unsigned long baud;
    speed_t code;
};

// Every speed the platform's termios names.
// clang-format off
constexpr line_speed line_speeds[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
    {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};
// clang-format on

const line_speed *find_speed(unsigned long baud) {
    for (const line_speed &s : line_speeds)
        if (s.baud == baud)
            return &s;
    return nullptr;
}

// The line on loan, for return_line and for the signal handler.
struct borrowed_line {
    int fd = -1;
    bool owned = false;
    bool exclusive = false;
    termios saved{};
};

borrowed_line line;
volatile std::sig_atomic_t line_held = 0;

constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction earlier_actions[std::size(ending_signals)];

// Only calls that are safe in a signal handler.
void put_line_back(bool discard_output) {
    if (discard_output)
        ::tcflush(line.fd, TCOFLUSH);
    ::tcsetattr(line.fd, TCSANOW, &line.saved);
    if (line.exclusive) {
        ::ioctl(line.fd, TIOCNXCL);
        ::flock(line.fd, LOCK_UN);
    }
    if (line.owned)
        ::close(line.fd);
}

// Puts the line back, then ends the process as the signal would have: the
// signal stays blocked in the handler, so raising it again under the
// default action ends the process as soon as the handler returns.
extern "C" void on_ending_signal(int signal) {
    if (line_held != 0) {
        line_held = 0;
        put_line_back(true);
    }
    struct sigaction by_default {};
    by_default.sa_handler = SIG_DFL;
    ::sigaction(signal, &by_default, nullptr);
    ::raise(signal);
}

sigset_t ending_signal_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : ending_signals)
        sigaddset(&set, s);
    return set;
}

// Catches the ending signals that are not ignored (nohup keeps SIGHUP
// ignored, and so does this).
void catch_ending_signals() {
    struct sigaction catcher {};
    catcher.sa_handler = on_ending_signal;
    catcher.sa_mask = ending_signal_set();
    for (std::size_t i = 0; i < std::size(ending_signals); ++i) {
        ::sigaction(ending_signals[i], nullptr, &earlier_actions[i]);
        if (earlier_actions[i].sa_handler != SIG_IGN)
            ::sigaction(ending_signals[i], &catcher, nullptr);
    }
}

void release_ending_signals() {
    for (std::size_t i = 0; i < std::size(ending_signals); ++i)
        ::sigaction(ending_signals[i], &earlier_actions[i], nullptr);
}

// Raw: no input translation, no output processing, no echo, no signals
// (but on the user's own terminal), 8 data bits, no parity, one stop bit,
// no flow control of either kind, receiver on, modem control lines ignored.
termios raw_settings(const termios &saved, bool keep_signals) {
    termios raw = saved;
    ::cfmakeraw(&raw);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    raw.c_cflag |= CS8 | CREAD | CLOCAL;
    if (keep_signals)
        raw.c_lflag |= ISIG;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return raw;
}

// Whether the line really took the settings: a driver may refuse some.
bool settings_taken(int fd, const termios &wanted) {
    constexpr tcflag_t frame = CSIZE | PARENB | CSTOPB | CRTSCTS | CREAD | CLOCAL;
    termios now{};
    return ::tcgetattr(fd, &now) == 0 && (now.c_cflag & frame) == (wanted.c_cflag & frame) &&
           ::cfgetospeed(&now) == ::cfgetospeed(&wanted) && (now.c_iflag & (IXON | IXOFF)) == 0;
}

using line_clock = std::chrono::steady_clock;

int milliseconds_since(line_clock::time_point start) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(line_clock::now() - start).count());
}

// Bytes written but still in the kernel's output queue; 0 where the driver
// cannot tell. Returns -1 with errno set on a failure of the line.
long queued_output(int fd) {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) == 0)
        return queued;
    return errno == ENOTTY || errno == EINVAL ? 0 : -1;
}

// tcdrain, which waits for the port's own buffer too, cut off after
// `timeout_ms` by a timer signal that interrupts it.
bool drain_within(int fd, unsigned timeout_ms) {
    struct sigaction wake {
    }, earlier{};
    wake.sa_handler = [](int) {};
    ::sigaction(SIGALRM, &wake, &earlier);
    itimerval timer{};
    timer.it_value.tv_sec = static_cast<time_t>(timeout_ms / 1000);
    timer.it_value.tv_usec = static_cast<suseconds_t>(timeout_ms % 1000 * 1000);
    ::setitimer(ITIMER_REAL, &timer, nullptr);
    bool drained = ::tcdrain(fd) == 0;
    timer = {};
    ::setitimer(ITIMER_REAL, &timer, nullptr);
    ::sigaction(SIGALRM, &earlier, nullptr);
    return drained;
}

} // namespace

bool is_line_speed(unsigned long baud) {
    return find_speed(baud) != nullptr;
}

int open_line(const char *path) {
    // Not even opened unless it is a device: a file or a directory is never
    // a serial line.
    struct stat info {};
    if (::stat(path, &info) == 0 && !S_ISCHR(info.st_mode)) {
        errno = ENOTTY;
        return -1;
    }
    return open_file(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

fault borrow_line(int fd, const char *name, unsigned long baud, bool owned) {
    bool locked = false, exclusive = false;
    auto refuse = [&](fault f) {
        if (exclusive)
            ::ioctl(fd, TIOCNXCL);
        if (locked)
            ::flock(fd, LOCK_UN);
        if (owned)
            ::close(fd);
        return f;
    };
    if (::isatty(fd) == 0)
        return refuse(make_fault("%s: not a serial line", name));
    // A user's own terminal stays theirs: interrupt keys work, and nothing
    // else is shut out of it.
    bool own_terminal = ::tcgetsid(fd) == ::getsid(0);
    if (!own_terminal) {
        locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!locked)
            return refuse(errno == EWOULDBLOCK
                              ? make_fault("%s: in use by another program", name)
                              : make_fault("%s: cannot set up: %s", name, std::strerror(errno)));
#ifdef TIOCGEXCL
        // A privileged opener gets past another program's exclusive mode.
        int held_elsewhere = 0;
        if (::ioctl(fd, TIOCGEXCL, &held_elsewhere) == 0 && held_elsewhere != 0)
            return refuse(make_fault("%s: in use by another program", name));
#endif
        exclusive = ::ioctl(fd, TIOCEXCL) == 0;
    }
    termios saved{};
    if (::tcgetattr(fd, &saved) != 0)
        return refuse(make_fault("%s: cannot set up: %s", name, std::strerror(errno)));

    sigset_t ending = ending_signal_set(), earlier_mask;
    ::sigprocmask(SIG_BLOCK, &ending, &earlier_mask);
    line = {fd, owned, !own_terminal, saved};
    line_held = 1;
    catch_ending_signals();
    ::sigprocmask(SIG_SETMASK, &earlier_mask, nullptr);

    termios raw = raw_settings(saved, own_terminal);
    if (const line_speed *speed = find_speed(baud)) {
        ::cfsetispeed(&raw, speed->code);
        ::cfsetospeed(&raw, speed->code);
    }
    int error = ::tcsetattr(fd, TCSANOW, &raw) == 0 ? 0 : errno;
    if (error != 0 || !settings_taken(fd, raw)) {
        fault f = make_fault("%s: cannot set up: %s", name,
                             error != 0 ? std::strerror(error)
                                        : "the line refused 8 data bits, no parity, one stop bit "
                                          "and no flow control at this speed");
        return_line();
        return f;
    }
    return {};
}

void return_line() {
    sigset_t ending = ending_signal_set(), earlier_mask;
    ::sigprocmask(SIG_BLOCK, &ending, &earlier_mask);
    if (line_held != 0) {
        line_held = 0;
        put_line_back(false);
        release_ending_signals();
    }
    ::sigprocmask(SIG_SETMASK, &earlier_mask, nullptr);
}

send_outcome send_on_line(std::span<const unsigned char> bytes, unsigned timeout_ms,
                          const std::function<void(std::size_t)> &progress) {
    constexpr int tick_ms = 50;
    send_outcome out;
    std::size_t written = 0;
    auto last_progress = line_clock::now();
    for (;;) {
        if (written < bytes.size()) {
            ssize_t n = ::write(line.fd, bytes.data() + written, bytes.size() - written);
            if (n > 0)
                written += static_cast<std::size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                out.error = errno;
        }
        // After a failure the queue may still say what went out; if it
        // cannot, the last count stands.
        if (long queued = queued_output(line.fd); queued >= 0) {
            std::size_t left = written - std::min(written, static_cast<std::size_t>(queued));
            if (left > out.sent) {
                out.sent = left;
                last_progress = line_clock::now();
                progress(left);
            }
        } else if (out.error == 0) {
            out.error = errno;
        }
        if (out.error != 0 || out.sent == bytes.size())
            break;
        int quiet = milliseconds_since(last_progress);
        if (quiet >= static_cast<int>(timeout_ms)) {
            out.timed_out = true;
            break;
        }
        // Wait for room to write, or for the queue to go down.
        pollfd room{line.fd, POLLOUT, 0};
        int wait = std::min(tick_ms, static_cast<int>(timeout_ms) - quiet);
        ::poll(&room, written < bytes.size() ? 1 : 0, wait);
    }
    if (out.error == 0 && !out.timed_out && !drain_within(line.fd, timeout_ms))
        out.timed_out = true;
    // What has not gone out must not go out later, after the run has failed.
    if (out.error != 0 || out.timed_out)
        ::tcflush(line.fd, TCOFLUSH);
    return out;
}

capture_outcome capture_from_line(std::span<unsigned char> buffer, unsigned silence_ms) {
    capture_outcome out;
    while (out.size < buffer.size()) {
        pollfd input{line.fd, POLLIN, 0};
        int ready = ::poll(&input, 1, out.size == 0 ? -1 : static_cast<int>(silence_ms));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            out.error = errno;
            break;
        }
        if (ready == 0)
            break; // silence once data has begun: the stream is over
        ssize_t n = ::read(line.fd, buffer.data() + out.size, buffer.size() - out.size);
        if (n > 0)
            out.size += static_cast<std::size_t>(n);
        else if (n == 0 || errno == EIO)
            break; // hung up
        else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            out.error = errno;
        if (out.error != 0)
            break;
    }
    return out;
}

} // namespace freqimg
