// serial_line.hpp on Windows: the communications API on a COM port opened
// for overlapped I/O, so that every wait has a limit of its own, and an
// ending guard that puts the line back on Ctrl-C, Ctrl-Break and a closed
// console.

#include "serial/serial_line.hpp"

#include "platform/ending_guard.hpp"
#include "platform/file_ops.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include <windows.h>

namespace freqimg {
namespace {

// "COM5", "com12" and "\\.\COM12" name a port; only the last form reaches
// ports above COM9, so every name is given that form. Empty for anything
// else (the null device among them).
std::string device_name(const char *path) {
    std::string name = path;
    if (name.rfind("\\\\.\\", 0) == 0)
        name.erase(0, 4);
    for (char &c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0 || name[3] == '0' ||
        !std::all_of(name.begin() + 3, name.end(), digit))
        return {};
    return "\\\\.\\" + name;
}

// The reason for a failure of the line, in the words the commands use on
// every platform: a pulled cable or a stuck line is an I/O error.
const char *reason_text(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_DEV_TYPE: // Wine's word for a COM port it has not mapped
        return std::strerror(ENOENT);
    case ERROR_ACCESS_DENIED:
        return std::strerror(EACCES);
    default:
        return std::strerror(EIO);
    }
}

fault reason(DWORD error) {
    return make_fault("%s", reason_text(error));
}

// What putting the line back takes, for the destructor and for an ending
// (Ctrl-C, Ctrl-Break, a closed console, a log-off) alike.
struct line_record {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool owned = false;
    DCB saved{};
    COMMTIMEOUTS saved_timeouts{};
};

void put_line_back(const line_record &line, bool discard_output) {
    if (discard_output)
        ::PurgeComm(line.handle, PURGE_TXABORT | PURGE_TXCLEAR);
    // The API takes what it only reads through pointers to change.
    DCB saved = line.saved;
    COMMTIMEOUTS timeouts = line.saved_timeouts;
    ::SetCommState(line.handle, &saved);
    ::SetCommTimeouts(line.handle, &timeouts);
    if (line.owned)
        ::CloseHandle(line.handle);
}

// An ending throws away what is queued: it must never go out later.
void put_back_at_ending(const void *line) {
    put_line_back(*static_cast<const line_record *>(line), true);
}

void put_back_at_close(const void *line) {
    put_line_back(*static_cast<const line_record *>(line), false);
}

// 8 data bits, no parity, one stop bit, no flow control of either kind,
// modem lines ignored, at `baud` (0 keeps the line's speed).
DCB raw_settings(const DCB &saved, unsigned long baud) {
    DCB raw = saved;
    if (baud != 0)
        raw.BaudRate = static_cast<DWORD>(baud);
    raw.ByteSize = 8;
    raw.Parity = NOPARITY;
    raw.StopBits = ONESTOPBIT;
    raw.fBinary = TRUE;
    raw.fParity = FALSE;
    raw.fOutxCtsFlow = FALSE;
    raw.fOutxDsrFlow = FALSE;
    raw.fDsrSensitivity = FALSE;
    raw.fOutX = FALSE;
    raw.fInX = FALSE;
    raw.fErrorChar = FALSE;
    raw.fNull = FALSE;
    raw.fAbortOnError = FALSE;
    if (raw.fDtrControl == DTR_CONTROL_HANDSHAKE)
        raw.fDtrControl = DTR_CONTROL_ENABLE;
    if (raw.fRtsControl == RTS_CONTROL_HANDSHAKE || raw.fRtsControl == RTS_CONTROL_TOGGLE)
        raw.fRtsControl = RTS_CONTROL_ENABLE;
    return raw;
}

bool settings_taken(HANDLE h, const DCB &wanted) {
    DCB now{};
    now.DCBlength = sizeof now;
    return ::GetCommState(h, &now) != 0 && now.BaudRate == wanted.BaudRate && now.ByteSize == 8 &&
           now.Parity == NOPARITY && now.StopBits == ONESTOPBIT && now.fOutxCtsFlow == FALSE &&
           now.fOutxDsrFlow == FALSE && now.fOutX == FALSE && now.fInX == FALSE;
}

// An event for each kind of overlapped operation.
struct overlapped_op {
    OVERLAPPED op{};
    bool pending = false;

    overlapped_op() { op.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~overlapped_op() { ::CloseHandle(op.hEvent); }
    overlapped_op(const overlapped_op &) = delete;
    overlapped_op &operator=(const overlapped_op &) = delete;

    void start() {
        ::ResetEvent(op.hEvent);
        op.Offset = op.OffsetHigh = 0;
    }
    bool wait(DWORD ms) { return ::WaitForSingleObject(op.hEvent, ms) == WAIT_OBJECT_0; }
};

} // namespace

struct serial_line::held {
    line_record line;
    overlapped_op write, drain, read;
    DWORD events = 0;      // what a wait for an event found
    ending_guard put_back; // hands the line to an ending
};

bool names_a_device(const char *path) {
    return !device_name(path).empty();
}

bool same_device(const char *port, const char *path) {
    std::string line = device_name(port);
    return path != nullptr && !line.empty() && line == device_name(path);
}

// Whether a named COM port exists shows only when it is opened: not every
// port is in the system's table of device names (Wine's mapped ones).
fault check_port(const char *path) {
    if (!device_name(path).empty())
        return {};
    const std::string name = quoted_name(path);
    if (path_exists(path))
        return line_messages::not_a_line(name.c_str());
    return line_messages::cannot_open(name.c_str(), std::strerror(ENOENT),
                                      line_messages::list_ports_hint);
}

serial_line::serial_line(std::unique_ptr<held> line) : held_(std::move(line)) {}

std::unique_ptr<serial_line> serial_line::borrow(const char *path, line_use use, unsigned long baud,
                                                 line_refusal &why) {
    const std::string shown = line_name(path);
    const char *name = shown.c_str();
    line_record r;
    if (path == nullptr) {
        r.handle = ::GetStdHandle(STD_INPUT_HANDLE);
    } else {
        std::string device = device_name(path);
        if (device.empty())
            return why.refuse(line_refusal::not_a_line, line_messages::not_a_line(name));
        // No sharing: the port is this program's alone while it is open.
        DWORD access = GENERIC_READ | (use == line_use::send ? GENERIC_WRITE : 0);
        r.handle = ::CreateFileA(device.c_str(), access, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr);
        if (r.handle == INVALID_HANDLE_VALUE) {
            DWORD error = ::GetLastError();
            if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
                return why.refuse(line_refusal::other, line_messages::in_use(name, 0));
            bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                           error == ERROR_BAD_DEV_TYPE;
            return why.refuse(
                line_refusal::other,
                line_messages::cannot_open(name, reason_text(error),
                                           missing ? line_messages::list_ports_hint : ""));
        }
        r.owned = true;
    }
    r.saved.DCBlength = sizeof r.saved;
    if (::GetCommState(r.handle, &r.saved) == 0 ||
        ::GetCommTimeouts(r.handle, &r.saved_timeouts) == 0) {
        if (r.owned)
            ::CloseHandle(r.handle);
        return why.refuse(line_refusal::not_a_line, line_messages::not_a_line(name));
    }
    auto line = std::make_unique<held>();
    line->line = r;
    line->put_back.arm(put_back_at_ending, &line->line);
    std::unique_ptr<serial_line> borrowed(new serial_line(std::move(line)));

    DCB raw = raw_settings(r.saved, baud);
    COMMTIMEOUTS none{};
    if (::SetCommState(r.handle, &raw) == 0 || ::SetCommTimeouts(r.handle, &none) == 0 ||
        !settings_taken(r.handle, raw)) {
        why = {line_refusal::other,
               line_messages::cannot_set_up(name, line_messages::refused_settings)};
        return nullptr; // the destructor puts the line back
    }
    return borrowed;
}

serial_line::~serial_line() {
    HANDLE h = held_->line.handle;
    DWORD n = 0;
    if (held_->write.pending || held_->read.pending)
        ::CancelIoEx(h, nullptr);
    if (held_->drain.pending)
        ::SetCommMask(h, 0); // ends a wait for an event
    for (overlapped_op *op : {&held_->write, &held_->drain, &held_->read})
        if (op->pending)
            ::GetOverlappedResult(h, &op->op, &n, TRUE);
    held_->put_back.finish(put_back_at_close, &held_->line);
}

line_io serial_line::write_some(std::span<const unsigned char> bytes) {
    HANDLE h = held_->line.handle;
    overlapped_op &w = held_->write;
    DWORD n = 0;
    if (w.pending) {
        // The bytes of a write in progress are taken when it completes.
        if (::GetOverlappedResult(h, &w.op, &n, FALSE) != 0) {
            w.pending = false;
            return line_io::of(n);
        }
        DWORD error = ::GetLastError();
        if (error == ERROR_IO_INCOMPLETE)
            return line_io::of(0);
        w.pending = false;
        return line_io::failed(reason(error));
    }
    // A piece at a time, so that what has gone shows as it goes.
    auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 256));
    w.start();
    if (::WriteFile(h, bytes.data(), piece, &n, &w.op) != 0)
        return line_io::of(n);
    DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING)
        return line_io::failed(reason(error));
    w.pending = true;
    return line_io::of(0);
}

void serial_line::wait_writable(unsigned ms) {
    if (held_->write.pending)
        held_->write.wait(ms);
}

line_io serial_line::queued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (::ClearCommError(held_->line.handle, &errors, &status) == 0)
        return line_io::failed(reason(::GetLastError()));
    return line_io::of(status.cbOutQue);
}

line_io serial_line::wait_drained(unsigned ms) {
    HANDLE h = held_->line.handle;
    DWORD n = 0;
    if (held_->write.pending) {
        if (!held_->write.wait(ms))
            return line_io::of(0);
        held_->write.pending = false;
        if (::GetOverlappedResult(h, &held_->write.op, &n, FALSE) == 0)
            return line_io::failed(reason(::GetLastError()));
    }
    // The system says when the last byte has gone (EV_TXEMPTY); the wait is
    // started before the queue is looked at, so that no moment is missed.
    overlapped_op &d = held_->drain;
    if (!d.pending) {
        ::SetCommMask(h, EV_TXEMPTY);
        d.start();
        if (::WaitCommEvent(h, &held_->events, &d.op) == 0 && ::GetLastError() != ERROR_IO_PENDING)
            return line_io::failed(reason(::GetLastError()));
        d.pending = true;
    }
    line_io left = queued();
    if (left.failure || left.count == 0 || d.wait(ms)) {
        if (left.count == 0 && !left.failure) {
            ::SetCommMask(h, 0);
            ::GetOverlappedResult(h, &d.op, &n, TRUE);
        }
        d.pending = false;
        return left.failure ? left : line_io::of(1);
    }
    return line_io::of(0);
}

// No Windows driver says whether the adapter's own FIFO has emptied: the
// drain (EV_TXEMPTY) speaks of the driver's buffer only.
transmit_fifo serial_line::adapter_fifo() {
    return {largest_unseen_fifo, false};
}

void serial_line::discard_output() {
    HANDLE h = held_->line.handle;
    ::PurgeComm(h, PURGE_TXABORT | PURGE_TXCLEAR);
    if (held_->write.pending) {
        // A write the purge did not end is cancelled; its bytes never go.
        DWORD n = 0;
        ::CancelIoEx(h, &held_->write.op);
        ::GetOverlappedResult(h, &held_->write.op, &n, TRUE);
        held_->write.pending = false;
    }
}

line_io serial_line::read_some(std::span<unsigned char> buffer, int ms) {
    HANDLE h = held_->line.handle;
    // Return at once with what has arrived, or wait up to `ms` for a byte.
    COMMTIMEOUTS wait_for_one{};
    wait_for_one.ReadIntervalTimeout = MAXDWORD;
    wait_for_one.ReadTotalTimeoutMultiplier = MAXDWORD;
    wait_for_one.ReadTotalTimeoutConstant =
        ms < 0 ? MAXDWORD - 1 : std::max<DWORD>(1, static_cast<DWORD>(ms));
    if (::SetCommTimeouts(h, &wait_for_one) == 0)
        return line_io::failed(reason(::GetLastError()));
    overlapped_op &r = held_->read;
    r.start();
    DWORD n = 0;
    auto size = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1 << 16));
    if (::ReadFile(h, buffer.data(), size, &n, &r.op) == 0) {
        if (::GetLastError() != ERROR_IO_PENDING)
            return line_io::failed(reason(::GetLastError()));
        r.pending = true;
        BOOL done = ::GetOverlappedResult(h, &r.op, &n, TRUE);
        r.pending = false;
        if (done == 0)
            return line_io::failed(reason(::GetLastError()));
    }
    return line_io::of(n);
}

} // namespace freqimg
