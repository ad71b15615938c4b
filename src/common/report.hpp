// The one place a command's messages are printed: each is one line on
// standard error that begins with the program's name, set once by main.
// Libraries never print; they return a fault or a warning, and the
// command's main hands it here.
#pragma once

#include "common/fault.hpp"

#include <string_view>
#include <vector>

namespace freqimg {

// Names the program that every message begins with ("freqimg-send").
// `name` must live as long as the process.
void set_program_name(const char *name);
const char *program_name();

// Prints "PROGRAM: TEXT" and returns 1, the exit status of a failure.
int report_error(std::string_view text);
int report_error(const fault &f);

// Prints each of `faults` as report_error does. Returns 1 when there was
// any, 0 otherwise.
int report_errors(const std::vector<fault> &faults);

// Prints "PROGRAM: ABOUT: warning: TEXT", or "PROGRAM: warning: TEXT" for a
// warning about the run as a whole.
void report_warning(const warning &w);

// Prints "PROGRAM: write error: REASON" for the system's error number
// `error` and returns 1: a failure to write standard output.
int report_write_error(int error);

// Prints "PROGRAM: WHAT 'ARG'" (or "PROGRAM: WHAT" without `arg`, or
// nothing of the kind without `what`), then "Try 'PROGRAM --help' for more
// information.", and returns 2, the exit status of a usage error.
int usage_error(const char *what, const char *arg = nullptr);

// Makes running out of memory end the process with "PROGRAM: memory
// exhausted" and exit status 1, after calling `last` (to put a borrowed
// line back). No exception: with memory this short the runtime may have
// none left to throw one with.
void end_when_out_of_memory(void (*last)());

} // namespace freqimg
