#include "serial/port_list.hpp"

#include "common/fault.hpp"

namespace freqimg {

std::string port_list_text(const std::vector<serial_port> &ports) {
    std::string text;
    for (const serial_port &p : ports) {
        // Names, and the adapter's own product string: a gadget may send
        // any bytes as its name.
        std::string line = quoted_name(p.name) + "  " + quoted_name(p.device);
        for (const std::string *field : {&p.driver, &p.usb_id})
            if (!field->empty())
                line += "  " + quoted_name(*field);
        if (!p.product.empty())
            line += (p.usb_id.empty() ? "  " : " ") + quoted_text(p.product);
        if (p.console)
            line += "  system console";
        if (p.holder > 0)
            line += "  in use (process " + std::to_string(p.holder) + ")";
        text += line + "\n";
    }
    return text;
}

} // namespace freqimg
