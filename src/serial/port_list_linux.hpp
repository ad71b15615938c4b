// Where Linux's port lister looks: the system's own folders, or a tree of a
// test's own that stands in for them.
#pragma once

#include "serial/port_list.hpp"

#include <string>
#include <vector>

namespace freqimg {

struct port_roots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string lock = "/var/lock";
};

// list_ports, looking under `roots`.
std::vector<serial_port> list_ports_under(const port_roots &roots);

} // namespace freqimg
