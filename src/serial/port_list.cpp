#include "port_list.hpp"

namespace freqimg {

std::string port_list_text(const std::vector<serial_port> &ports) {
    std::string text;
    for (const serial_port &p : ports) {
        std::string line = p.name + "  " + p.device;
        for (const std::string *field : {&p.driver, &p.usb_id})
            if (!field->empty())
                line += "  " + *field;
        if (!p.product.empty())
            line += (p.usb_id.empty() ? "  " : " ") + p.product;
        if (p.holder > 0)
            line += "  in use (process " + std::to_string(p.holder) + ")";
        text += line + "\n";
    }
    return text;
}

} // namespace freqimg
