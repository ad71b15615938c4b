// A line's settings exactly, speeds included. A speed set through Linux's
// termios2 (BOTHER, 250000 baud, as serial libraries set them) has no name
// that tcgetattr and tcsetattr can carry, so a line put back through them
// would keep the speed it was given. Where the kernel has no termios2 these
// save nothing and say so.
#pragma once

#include <array>

namespace freqimg {

struct exact_line_settings {
    alignas(8) std::array<unsigned char, 64> bytes{};
    bool saved = false;
};

// Saves the settings of the terminal open on `fd`. Returns false where the
// system cannot.
bool save_exact_settings(int fd, exact_line_settings &settings);

// Puts saved settings back; safe in a signal handler. Returns false when
// none were saved or the line refused them.
bool restore_exact_settings(int fd, const exact_line_settings &settings);

} // namespace freqimg
