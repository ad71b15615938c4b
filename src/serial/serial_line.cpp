#include "serial/serial_line.hpp"

#include <algorithm>
#include <thread>

namespace freqimg {

std::string line_name(const char *path) {
    return path != nullptr ? quoted_name(path) : "standard input";
}

bool is_line_speed(unsigned long baud) {
    return std::find(line_speeds.begin(), line_speeds.end(), baud) != line_speeds.end();
}

void serial_line::hold(std::chrono::microseconds time) {
    std::this_thread::sleep_for(time);
}

} // namespace freqimg

namespace freqimg::line_messages {

fault not_a_line(const char *name) {
    return make_fault("%s: not a serial line", name);
}

fault in_use(const char *name, long pid) {
    if (pid > 0)
        return make_fault("%s: in use by another program (process %ld)", name, pid);
    return make_fault("%s: in use by another program", name);
}

fault cannot_open(const char *name, const char *reason, const char *hint) {
    return make_fault("%s: cannot open: %s%s", name, reason, hint);
}

fault cannot_set_up(const char *name, const char *reason) {
    return make_fault("%s: cannot set up: %s", name, reason);
}

fault users_terminal(const char *name) {
    return make_fault("%s: is the terminal you type at, not a serial line", name);
}

fault pseudo_terminal_master(const char *name) {
    return make_fault("%s: is a pseudo-terminal master, not a serial line", name);
}

fault system_console(const char *name) {
    return make_fault("%s: is the system console, not a free serial line", name);
}

fault the_port_itself(const char *name) {
    return make_fault("%s: is the port the stream goes to; give the stream's file, or pipe it in",
                      name);
}

} // namespace freqimg::line_messages
