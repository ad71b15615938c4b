// The Windows build's commands run under Wine from the tests of this
// machine: what differs there.
#pragma once

#include <string>

namespace freqimg_test {

// True when the commands are Windows programs run under Wine.
bool under_wine();

// Skips the rest of a test that cannot mean anything for a Windows program
// under Wine, saying why.
#define SKIP_UNDER_WINE(why)                                                                       \
    if (under_wine())                                                                              \
    GTEST_SKIP() << "cannot be shown under Wine: " << (why)

// What a shell command line puts before a command: the emulator, or nothing.
std::string shell_prefix();

// The null device, in the commands' own terms: /dev/null, or NUL.
std::string null_device();

} // namespace freqimg_test
