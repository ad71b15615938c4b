// serial_line.hpp on Linux's terminals (termios), with its exclusive mode
// and exact speeds. The few lines for other POSIX systems say which.

#include "serial/serial_line.hpp"

#include "platform/ending_guard.hpp"
#include "platform/posix_descriptors.hpp"
#include "serial/permission_hint.hpp"
#include "serial/termios2_linux.hpp"
#include "serial/timed_drain.hpp"
#include "serial/tty_sysfs_linux.hpp"
#include "serial/uucp_lock.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace freqimg {
namespace {

struct line_speed {
    unsigned long baud;
    speed_t code;
};

// The code termios names each of line_speeds by; Linux names every one.
// clang-format off
constexpr line_speed speed_codes[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
    {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000}};
// clang-format on

constexpr bool names_each_line_speed() {
    if (std::size(speed_codes) != line_speeds.size())
        return false;
    for (std::size_t i = 0; i < line_speeds.size(); ++i)
        if (speed_codes[i].baud != line_speeds[i])
            return false;
    return true;
}
static_assert(names_each_line_speed(), "speed_codes must name line_speeds, in their order");

const line_speed *find_speed(unsigned long baud) {
    for (const line_speed &s : speed_codes)
        if (s.baud == baud)
            return &s;
    return nullptr;
}

// What putting the line back takes, for the destructor and for an ending
// alike: plain data only.
struct line_record {
    int fd = -1;
    bool owned = false;
    bool exclusive = false; // the kernel's exclusive mode, taken here
    bool locked = false;    // the advisory lock, taken here
    termios saved{};
    exact_line_settings exact;
};

// Lets go of what borrowing took: the kernel's exclusive mode, the lock
// and the descriptor. Only calls that are safe in a signal handler.
void let_go(const line_record &line) {
    if (line.exclusive)
        ::ioctl(line.fd, TIOCNXCL);
    if (line.locked)
        ::flock(line.fd, LOCK_UN);
    if (line.owned)
        ::close(line.fd);
}

// Puts the line's settings back and lets go of it; the same calls.
void put_line_back(const line_record &line, bool discard_output) {
    if (discard_output)
        ::tcflush(line.fd, TCOFLUSH);
    if (!restore_exact_settings(line.fd, line.exact))
        ::tcsetattr(line.fd, TCSANOW, &line.saved);
    let_go(line);
}

// An ending throws away what is queued: it must never go out later.
void put_back_at_ending(const void *line) {
    put_line_back(*static_cast<const line_record *>(line), true);
}

void put_back_at_close(const void *line) {
    put_line_back(*static_cast<const line_record *>(line), false);
}

// Raw: no input translation, no output processing, no echo, no signals, 8
// data bits, no parity, one stop bit, no flow control of either kind,
// receiver on, modem control lines ignored.
termios raw_settings(const termios &saved) {
    termios raw = saved;
    ::cfmakeraw(&raw);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
#ifdef CIBAUD
    raw.c_cflag &= ~static_cast<tcflag_t>(CIBAUD); // input at the output's speed
#endif
    raw.c_cflag |= CS8 | CREAD | CLOCAL;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return raw;
}

// Whether the line really took the settings: a driver may refuse some.
bool settings_taken(int fd, const termios &wanted) {
    constexpr tcflag_t frame = CSIZE | PARENB | CSTOPB | CRTSCTS | CREAD | CLOCAL;
    termios now{};
    return ::tcgetattr(fd, &now) == 0 && (now.c_cflag & frame) == (wanted.c_cflag & frame) &&
           ::cfgetospeed(&now) == ::cfgetospeed(&wanted) && (now.c_iflag & (IXON | IXOFF)) == 0 &&
           (now.c_lflag & ICANON) == 0;
}

fault reason(int error) {
    return make_fault("%s", std::strerror(error));
}

// The device of the terminal open on `fd`, for its lock file.
std::string terminal_path(int fd) {
    char name[256]{};
    return ::ttyname_r(fd, name, sizeof name) == 0 ? name : "";
}

// The device of this process's controlling terminal, or 0 without one.
// /dev/tty opens it, but is what fstat describes; Linux names the terminal
// behind it.
dev_t controlling_terminal() {
    int fd = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 0;
    dev_t device = 0;
#ifdef TIOCGDEV
    unsigned int number = 0;
    if (::ioctl(fd, TIOCGDEV, &number) == 0)
        device = static_cast<dev_t>(number);
#endif
    ::close(fd);
    return device;
}

// Why the terminal device `device`, named `name`, is no line to borrow,
// though it is a terminal: the one the user types at (/dev/tty, "$(tty)"),
// a pseudo-terminal master (/dev/ptmx, Unix 98's and BSD's), or the system
// console. Empty for any other.
fault no_line_to_borrow(dev_t device, const char *name) {
    unsigned m = ::major(device);
    if (device == ::makedev(5, 0) || device == controlling_terminal())
        return line_messages::users_terminal(name);
    if (device == ::makedev(5, 2) || (m >= 128 && m <= 135) || m == 2)
        return line_messages::pseudo_terminal_master(name);
    if (is_system_console(device))
        return line_messages::system_console(name);
    return {};
}

long locked_by(const std::string &device) {
    std::string name = lock_name(device.c_str());
    for (const char *dir : lock_dirs)
        if (long pid = lock_holder(dir, name))
            return pid;
    return 0;
}

// Looks at `path` once for the three who ask: 0 when it names a character
// device, filling `info`; ENOTTY for anything else; or why it cannot be
// looked at.
int look_at_device(const char *path, struct stat &info) {
    if (::stat(path, &info) != 0)
        return errno;
    return S_ISCHR(info.st_mode) ? 0 : ENOTTY;
}

} // namespace

struct serial_line::held {
    line_record line;
    transmit_fifo fifo;
    std::unique_ptr<timed_drain> drain;
    ending_guard put_back; // hands the line to an ending
};

bool names_a_device(const char *path) {
    struct stat info {};
    return look_at_device(path, info) == 0;
}

fault check_port(const char *path) {
    struct stat info {};
    const std::string name = quoted_name(path);
    if (int error = look_at_device(path, info); error == ENOTTY)
        return line_messages::not_a_line(name.c_str());
    else if (error != 0)
        return line_messages::cannot_open(name.c_str(), std::strerror(error),
                                          error == ENOENT ? line_messages::list_ports_hint : "");
    return no_line_to_borrow(info.st_rdev, name.c_str());
}

bool same_device(const char *port, const char *path) {
    struct stat line {
    }, input{};
    return ::stat(port, &line) == 0 &&
           (path == nullptr ? ::fstat(STDIN_FILENO, &input) : ::stat(path, &input)) == 0 &&
           S_ISCHR(line.st_mode) && S_ISCHR(input.st_mode) && line.st_rdev == input.st_rdev;
}

serial_line::serial_line(std::unique_ptr<held> line) : held_(std::move(line)) {}

std::unique_ptr<serial_line> serial_line::borrow(const char *path, line_use use, unsigned long baud,
                                                 line_refusal &why) {
    const std::string shown = line_name(path);
    const char *name = shown.c_str();
    // The user's terminal, a pseudo-terminal master, the console, and a
    // port another program has marked with a lock file are not even opened.
    // (Callers give only devices: check_port, names_a_device.)
    struct stat info {};
    if (path != nullptr && look_at_device(path, info) == 0)
        if (fault f = no_line_to_borrow(info.st_rdev, name))
            return why.refuse(line_refusal::other, f);
    if (path != nullptr)
        if (long pid = locked_by(path))
            return why.refuse(line_refusal::other, line_messages::in_use(name, pid));
    line_record r;
    r.fd = STDIN_FILENO;
    if (path != nullptr) {
        int access = use == line_use::receive ? O_RDONLY : O_RDWR;
        r.fd = open_above_standard(path, access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (r.fd < 0) {
            int error = errno;
            if (error == EBUSY)
                return why.refuse(line_refusal::other, line_messages::in_use(name, 0));
            std::string hint = error == EACCES   ? permission_hint(path)
                               : error == ENOENT ? line_messages::list_ports_hint
                                                 : "";
            return why.refuse(line_refusal::other,
                              line_messages::cannot_open(name, std::strerror(error), hint.c_str()));
        }
        r.owned = true;
    }
    auto give_up = [&](line_refusal::kind_t kind, fault message) {
        let_go(r);
        return why.refuse(kind, std::move(message));
    };
    if (::isatty(r.fd) == 0)
        return give_up(line_refusal::not_a_line, line_messages::not_a_line(name));
    // Looked at again as it is open: a line given as standard input, or a
    // name that has come to mean another device since.
    if (::fstat(r.fd, &info) != 0)
        return give_up(line_refusal::other,
                       line_messages::cannot_set_up(name, std::strerror(errno)));
    if (fault f = no_line_to_borrow(info.st_rdev, name))
        return give_up(line_refusal::other, f);
    if (::tcgetsid(r.fd) == ::getsid(0))
        return give_up(line_refusal::other, line_messages::users_terminal(name));

    if (long pid = path == nullptr ? locked_by(terminal_path(r.fd)) : 0)
        return give_up(line_refusal::other, line_messages::in_use(name, pid));
    r.locked = ::flock(r.fd, LOCK_EX | LOCK_NB) == 0;
    // Where terminals take no advisory lock (macOS, FreeBSD), the kernel's
    // exclusive mode serves alone.
    if (!r.locked && errno == EWOULDBLOCK)
        return give_up(line_refusal::other, line_messages::in_use(name, 0));
    if (!r.locked && errno != EOPNOTSUPP && errno != ENOTSUP && errno != EINVAL && errno != ENOLCK)
        return give_up(line_refusal::other,
                       line_messages::cannot_set_up(name, std::strerror(errno)));
#ifdef TIOCGEXCL
    // A privileged opener gets past another program's exclusive mode.
    int held_elsewhere = 0;
    if (::ioctl(r.fd, TIOCGEXCL, &held_elsewhere) == 0 && held_elsewhere != 0)
        return give_up(line_refusal::other, line_messages::in_use(name, 0));
#endif
    r.exclusive = ::ioctl(r.fd, TIOCEXCL) == 0;
    if (::tcgetattr(r.fd, &r.saved) != 0)
        return give_up(line_refusal::other,
                       line_messages::cannot_set_up(name, std::strerror(errno)));
    save_exact_settings(r.fd, r.exact);
    auto line = std::make_unique<held>();
    line->line = r;
    line->fifo = transmit_fifo_of(info.st_rdev);
    line->put_back.arm(put_back_at_ending, &line->line);
    std::unique_ptr<serial_line> borrowed(new serial_line(std::move(line)));

    termios raw = raw_settings(r.saved);
    if (const line_speed *speed = find_speed(baud)) {
        ::cfsetispeed(&raw, speed->code);
        ::cfsetospeed(&raw, speed->code);
    }
    int error = ::tcsetattr(r.fd, TCSANOW, &raw) == 0 ? 0 : errno;
    if (error != 0 || !settings_taken(r.fd, raw)) {
        why = {line_refusal::other,
               line_messages::cannot_set_up(name, error != 0 ? std::strerror(error)
                                                             : line_messages::refused_settings)};
        return nullptr; // the destructor puts the line back
    }
    return borrowed;
}

serial_line::~serial_line() {
    held_->drain.reset();
    held_->put_back.finish(put_back_at_close, &held_->line);
}

line_io serial_line::write_some(std::span<const unsigned char> bytes) {
    ssize_t n = ::write(held_->line.fd, bytes.data(), bytes.size());
    if (n >= 0)
        return line_io::of(static_cast<std::size_t>(n));
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return {};
    return line_io::failed(reason(errno));
}

void serial_line::wait_writable(unsigned ms) {
    pollfd room{held_->line.fd, POLLOUT, 0};
    ::poll(&room, 1, static_cast<int>(ms));
}

line_io serial_line::queued() {
    int queued = 0;
    if (::ioctl(held_->line.fd, TIOCOUTQ, &queued) == 0)
        return line_io::of(static_cast<std::size_t>(std::max(queued, 0)));
    if (errno == ENOTTY || errno == EINVAL)
        return {}; // the driver cannot tell
    return line_io::failed(reason(errno));
}

line_io serial_line::wait_drained(unsigned ms) {
    // tcdrain waits for the system's buffer, then for the adapter's where
    // the driver can, and returns the moment they are empty. It runs on a
    // descriptor of its own, which it closes: should the line be let go
    // while it still waits, it never touches a descriptor the line gave up.
    if (!held_->drain) {
        int fd = ::fcntl(held_->line.fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        if (fd < 0)
            return line_io::failed(reason(errno));
        held_->drain = std::make_unique<timed_drain>([fd] {
            int result;
            while ((result = ::tcdrain(fd)) != 0 && errno == EINTR) {
            }
            fault f = result == 0 ? fault{} : reason(errno);
            ::close(fd);
            return f;
        });
    }
    fault failure;
    bool drained = held_->drain->wait(ms, failure);
    if (failure)
        return line_io::failed(failure);
    return line_io::of(drained ? 1 : 0);
}

transmit_fifo serial_line::adapter_fifo() {
    return held_->fifo;
}

void serial_line::discard_output() {
    ::tcflush(held_->line.fd, TCOFLUSH);
}

line_io serial_line::read_some(std::span<unsigned char> buffer, int ms) {
    pollfd input{held_->line.fd, POLLIN, 0};
    int ready = ::poll(&input, 1, ms);
    if (ready < 0 && errno != EINTR)
        return line_io::failed(reason(errno));
    if (ready <= 0)
        return {};
    ssize_t n = ::read(held_->line.fd, buffer.data(), buffer.size());
    if (n > 0)
        return line_io::of(static_cast<std::size_t>(n));
    if (n == 0 || errno == EIO)
        return line_io::hang_up();
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return {};
    return line_io::failed(reason(errno));
}

} // namespace freqimg
