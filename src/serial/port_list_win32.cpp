// port_list.hpp from the Windows registry: every COM port the system maps
// (HARDWARE\DEVICEMAP\SERIALCOMM), with the names, drivers and USB ids that
// SetupAPI knows for the present ones.

#include "serial/port_list.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>

// clang-format off
#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on

namespace freqimg {
namespace {

unsigned port_number(const std::string &name) {
    unsigned number = 0;
    if (name.size() > 3)
        std::from_chars(name.data() + 3, name.data() + name.size(), number);
    return number;
}

std::string device_property(HDEVINFO set, SP_DEVINFO_DATA &device, DWORD property) {
    char value[512]{};
    if (::SetupDiGetDeviceRegistryPropertyA(set, &device, property, nullptr,
                                            reinterpret_cast<BYTE *>(value), sizeof value - 1,
                                            nullptr) == 0)
        return {};
    return value; // a multi-string gives its first string
}

// "USB\VID_0403&PID_6001&REV_0600" is 0403:6001.
std::string usb_id(const std::string &hardware_id) {
    std::size_t vid = hardware_id.find("VID_"), pid = hardware_id.find("PID_");
    if (hardware_id.rfind("USB", 0) != 0 || vid == std::string::npos || pid == std::string::npos)
        return {};
    std::string id = hardware_id.substr(vid + 4, 4) + ":" + hardware_id.substr(pid + 4, 4);
    for (char &c : id)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return id;
}

// What SetupAPI knows of the present port called `name`.
void describe(serial_port &port) {
    HDEVINFO set = ::SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device) != 0; ++i) {
        HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        char name[64]{};
        DWORD size = sizeof name - 1;
        bool same = ::RegQueryValueExA(key, "PortName", nullptr, nullptr,
                                       reinterpret_cast<BYTE *>(name), &size) == ERROR_SUCCESS &&
                    port.name == name;
        ::RegCloseKey(key);
        if (!same)
            continue;
        port.driver = device_property(set, device, SPDRP_SERVICE);
        port.usb_id = usb_id(device_property(set, device, SPDRP_HARDWAREID));
        port.product = device_property(set, device, SPDRP_FRIENDLYNAME);
        break;
    }
    ::SetupDiDestroyDeviceInfoList(set);
}

} // namespace

const char *const no_ports_hint =
    "Device Manager shows them under Ports (COM & LPT), and 'mode' lists them";

std::vector<serial_port> list_ports() {
    std::vector<serial_port> ports;
    HKEY key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD i = 0;; ++i) {
        char device[256]{}, name[64]{};
        DWORD device_size = sizeof device - 1, name_size = sizeof name - 1, type = 0;
        if (::RegEnumValueA(key, i, device, &device_size, nullptr, &type,
                            reinterpret_cast<BYTE *>(name), &name_size) != ERROR_SUCCESS)
            break;
        if (type != REG_SZ)
            continue;
        serial_port port;
        port.name = name;
        port.device = device;
        describe(port);
        ports.push_back(port);
    }
    ::RegCloseKey(key);
    std::sort(ports.begin(), ports.end(), [](const serial_port &a, const serial_port &b) {
        return port_number(a.name) < port_number(b.name);
    });
    return ports;
}

} // namespace freqimg
