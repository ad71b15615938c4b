#include "common/report.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace freqimg {
namespace {

const char *program = "freqimg";
void (*before_exhausted_exit)() = nullptr;

// One line, written at once, so that it reaches a shared terminal or log
// whole. Standard error is unbuffered.
void say(std::string_view about, std::string_view kind, std::string_view text) {
    std::string line = program;
    for (std::string_view part : {about, kind, text})
        if (!part.empty())
            line.append(": ").append(part);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

[[noreturn]] void memory_exhausted() {
    if (before_exhausted_exit != nullptr)
        before_exhausted_exit();
    // In parts: there may be no memory for a line.
    std::fputs(program, stderr);
    std::fputs(": memory exhausted\n", stderr);
    std::_Exit(1);
}

} // namespace

void set_program_name(const char *name) {
    program = name;
}

const char *program_name() {
    return program;
}

int report_error(std::string_view text) {
    say({}, {}, text);
    return 1;
}

int report_error(const fault &f) {
    return report_error(f.text);
}

int report_errors(const std::vector<fault> &faults) {
    for (const fault &f : faults)
        report_error(f);
    return faults.empty() ? 0 : 1;
}

void report_warning(const warning &w) {
    say({}, {}, w.line());
}

int report_write_error(int error) {
    say("write error", {}, std::strerror(error));
    return 1;
}

int usage_error(const char *what, const char *arg) {
    if (what != nullptr && arg != nullptr)
        say({}, {}, std::string(what) + " " + quoted_value(arg));
    else if (what != nullptr)
        say({}, {}, what);
    std::fprintf(stderr, "Try '%s --help' for more information.\n", program);
    return 2;
}

void end_when_out_of_memory(void (*last)()) {
    before_exhausted_exit = last;
    std::set_new_handler(memory_exhausted);
}

} // namespace freqimg
