// A serial line borrowed for one job, the way serial terminal programs
// borrow one: opened without waiting on carrier and without becoming the
// controlling terminal, held alone, set to raw 8 data bits, no parity, one
// stop bit and no flow control, and put back exactly as it was when the
// borrowing object goes, and on every signal that ends the process (an
// ending guard: run_ending_actions puts it back at once, discarding what is
// queued). One line is borrowed at a time.
//
// Nothing here names a platform type: serial_line_linux.cpp implements it
// with termios, serial_line_win32.cpp with the Windows communications API.
#pragma once

#include "common/fault.hpp"
#include "serial/line_port.hpp"

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>

namespace freqimg {

// The speeds the commands accept, the same on every platform.
inline constexpr std::array<unsigned long, 30> line_speeds{
    50,     75,     110,     134,     150,     200,     300,     600,     1200,    1800,
    2400,   4800,   9600,    19200,   38400,   57600,   115200,  230400,  460800,  500000,
    576000, 921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000};

// Returns true when `baud` is one of line_speeds.
bool is_line_speed(unsigned long baud);

// What the borrower does with the line: only reads it (so that a line the
// user may only read can be inspected), or sends on it.
enum class line_use { receive, send };

// Why a line could not be borrowed: the message says it to the user; the
// kind tells a caller that can do something else with a device that is no
// serial line (read it as a file).
struct line_refusal {
    enum kind_t { none, not_a_line, other } kind = none;
    fault message;

    // Says why, and returns no line: how borrow refuses.
    std::nullptr_t refuse(kind_t why, fault text) {
        kind = why;
        message = std::move(text);
        return nullptr;
    }
};

// The name a line's messages give it: its path, quoted as names are, or
// "standard input".
std::string line_name(const char *path);

// Checks, without opening it, that `path` names a device that can be a
// serial line: a file given in its place, the terminal the user types at,
// a pseudo-terminal master and the system console are refused at once,
// before any input is read. Returns "PATH: not a serial line", one of the
// refusals of line_messages, or "PATH: cannot open: REASON (freqimg-send
// --list-ports shows the serial ports)".
fault check_port(const char *path);

// Returns true when `path` names a device, which may be a serial line and
// is then to be borrowed rather than read as a file.
bool names_a_device(const char *path);

// Returns true when the input at `path` (standard input when null) is the
// line at `port` itself, which cannot give the stream that is sent on it.
bool same_device(const char *port, const char *path);

class serial_line final : public line_port {
  public:
    // Borrows the line at `path` (a device: see check_port and
    // names_a_device), or with a null `path` the line open on standard
    // input (named "standard input"), for `use` at `baud` (0 keeps
    // the line's own speed). Refuses a line that another program holds: its
    // exclusive mode, an advisory lock, or a UUCP lock file of a live
    // process. Returns null with `why` set when it cannot borrow it; the
    // line is then left as it was.
    static std::unique_ptr<serial_line> borrow(const char *path, line_use use, unsigned long baud,
                                               line_refusal &why);
    // Puts the saved settings back and lets go of the line.
    ~serial_line() override;

    line_io write_some(std::span<const unsigned char> bytes) override;
    void wait_writable(unsigned ms) override;
    line_io queued() override;
    line_io wait_drained(unsigned ms) override;
    transmit_fifo adapter_fifo() override;
    void hold(std::chrono::microseconds time) override;
    void discard_output() override;
    line_io read_some(std::span<unsigned char> buffer, int ms) override;

    struct held; // the platform's own record of the line

  private:
    explicit serial_line(std::unique_ptr<held> line);
    std::unique_ptr<held> held_;
};

// The messages of borrowing a line, written once for every platform.
namespace line_messages {
fault not_a_line(const char *name);
// `pid` 0: the holder is not known.
fault in_use(const char *name, long pid);
// `hint`, when there is one, follows the reason: "; ..." or " (...)".
fault cannot_open(const char *name, const char *reason, const char *hint = "");
fault cannot_set_up(const char *name, const char *reason);
fault users_terminal(const char *name);
fault pseudo_terminal_master(const char *name);
fault system_console(const char *name);
fault the_port_itself(const char *name);
inline constexpr const char *list_ports_hint =
    " (freqimg-send --list-ports shows the serial ports)";
inline constexpr const char *refused_settings =
    "the line refused 8 data bits, no parity, one stop bit and no flow control at this speed";
} // namespace line_messages

} // namespace freqimg
