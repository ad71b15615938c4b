// What the commands that take options share: options read the GNU way with
// getopt_long (unambiguous abbreviations, --name=value, --, operands in any
// order), usage errors in GNU's own words on every platform, --version, and
// writing what a command prints to standard output.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace freqimg {

struct long_option {
    const char *name;
    bool takes_value;
};

// What read_options found: where the operands begin, or that the command
// is to end now, with this exit status.
struct options_read {
    int first_operand = 0; // index in argv (operands are moved behind the options)
    std::optional<int> end_status;
};

// Reads the options in `argv`, calling `take(index, value)` for each in the
// order given: `index` into `options`, `value` null for an option without
// one. `take` returns false once it has reported a bad value with
// usage_error. --help and --version are read here too, as GNU's commands
// read them: each prints `usage` or the version at once, and that is all.
// The command ends at once with exit status 0 after --help or --version (1
// if it could not be written), 2 after a usage error, worded as GNU getopt
// words it: "option '--timeout' requires an argument", "unrecognized option
// '--frequency'", "invalid option -- 'x'". No two options may begin alike,
// so that every abbreviation is unambiguous.
options_read read_options(const char *usage, int argc, char **argv,
                          std::span<const long_option> options,
                          const std::function<bool(std::size_t, const char *)> &take);

// Returns what --version prints: "PROGRAM (freqimg) VERSION", then the
// copyright and the licence.
std::string version_text(const char *program);

// Writes `text` to standard output and closes it. Returns 0, or reports
// "PROGRAM: write error: REASON" and returns 1.
int write_output(std::string_view text);

// Reads a time in seconds, decimal digits with an optional fraction ("5",
// "0.5"), from 1 ms to a day (86400), into `milliseconds`, rounded to the
// nearest. Returns false for anything else: no sign, blank, exponent or
// hexadecimal.
bool parse_seconds(const char *text, unsigned &milliseconds);

} // namespace freqimg
