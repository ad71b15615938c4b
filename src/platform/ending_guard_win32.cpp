// The ending guards' handler on Windows: a console handler, which runs on a
// thread of its own for Ctrl-C, Ctrl-Break, a closed console and a log-off.

#include "platform/ending_guard.hpp"

#include <windows.h>

namespace freqimg {
namespace {

// Undoes what the guards hold, and ends the process as Ctrl-C ends one,
// never with a status of success.
BOOL WINAPI on_console_event(DWORD) {
    run_ending_actions();
    ::ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

} // namespace

void ending_events::catch_them() {
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

void ending_events::release_them() {
    ::SetConsoleCtrlHandler(on_console_event, FALSE);
}

// The console handler runs on a thread of its own, which nothing here can
// hold back; each action still runs once, by whoever claims it first.
void ending_events::hold() {}
void ending_events::let_through() {}

} // namespace freqimg
