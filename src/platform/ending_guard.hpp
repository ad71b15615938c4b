// What a command must undo should it be ended at once: by a signal (Ctrl-C,
// a hang-up, kill) or, on Windows, a console event (Ctrl-C, Ctrl-Break, a
// closed console). A borrowed serial line is put back, a file half made is
// removed, and the process then ends as the signal would have ended it.
//
// One registry holds every guard, where the handler finds what each needs;
// ending_guard_posix.cpp catches the signals while a guard is armed,
// ending_guard_win32.cpp the console events.
#pragma once

namespace freqimg {

class ending_guard {
  public:
    // What to undo: a plain function of plain data. It runs in a signal
    // handler (on Windows, on the console handler's thread), so it may make
    // only the calls that are safe there.
    using action = void (*)(const void *data);

    ending_guard() = default;
    ending_guard(const ending_guard &) = delete;
    ending_guard &operator=(const ending_guard &) = delete;
    // Disarms the guard, without running its action.
    ~ending_guard();

    // Arms the guard: an ending runs `undo` on `data`, which must stay
    // where it is until the guard is taken or goes. At most eight guards
    // are armed at a time; a ninth is not.
    void arm(action undo, const void *data);

    // Disarms the guard. Returns true when its undoing is still the
    // caller's to do, false when an ending has done it or none was armed.
    bool take();

    // Disarms the guard and, when its undoing is still the caller's, runs
    // `undo` on `data` with every ending held back until it is done, so
    // that no ending finds it half done. Returns what take returns.
    bool finish(action undo, const void *data);

  private:
    int slot_ = -1;
};

// Runs the action of every armed guard now and disarms them, as an ending
// does: for a process that must end at once (out of memory).
void run_ending_actions();

// The platform's half: catches the signals (or console events) that end
// the process, or lets them go as they were, called as the first guard is
// armed and the last one goes; and holds them back from this thread while
// a guard's undoing runs outside a handler.
namespace ending_events {
void catch_them();
void release_them();
void hold();
void let_through();
} // namespace ending_events

} // namespace freqimg
