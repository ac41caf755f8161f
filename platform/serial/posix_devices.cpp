#include "platform/serial/posix_devices.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/base/prefix.h"
#include "platform/serial/comm_port.h"
#include "platform/serial/posix_serial.h"
#include "platform/serial/rfc2217_port.h"

namespace {

namespace fs = std::filesystem;

std::mutex g_configLock;
std::string g_strDevRoot = "/dev";
std::string g_strSysTtyRoot = "/sys/class/tty";

std::string DosDevices() { return platform::PrefixRoot() + "/dosdevices"; }

// n of a "comN" entry name, or 0.
unsigned ComNumber(const std::string& entry) {
    if (entry.size() < 4 || entry.compare(0, 3, "com") != 0) return 0;
    return platform::serial::ParsePortName(("COM" + entry.substr(3)).c_str());
}

// n of "<stem>N", or -1.
long DeviceNumber(const std::string& name, const std::string& stem) {
    if (name.size() <= stem.size() || name.compare(0, stem.size(), stem) != 0) return -1;
    std::string digits = name.substr(stem.size());
    if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) return -1;
    return std::stol(digits);
}

// A 16550-style port node exists for every possible UART; sysfs says whether
// one is fitted (type 0: none).
bool UartFitted(const std::string& sysTty, const std::string& name) {
    std::ifstream type(sysTty + "/" + name + "/type");
    int value = -1;
    return !(type >> value) || value != 0;
}

}  // namespace

namespace platform::posix_serial {

std::string PortLink(unsigned nPort) { return DosDevices() + "/com" + std::to_string(nPort); }

std::vector<std::string> ListMappedPorts() {
    MapDevices();
    std::vector<unsigned> numbers;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(DosDevices(), ec)) {
        unsigned n = ComNumber(entry.path().filename().string());
        platform::rfc2217::NetworkAddress address;
        if (n && (fs::exists(entry.path(), ec) ||
                  platform::rfc2217::ParseNetworkLink(fs::read_symlink(entry.path(), ec).string(), &address)))
            numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    std::vector<std::string> names;
    for (unsigned n : numbers) names.push_back("COM" + std::to_string(n) + ":");
    return names;
}

int MapDevices() {
    std::string folder = DosDevices();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (ComNumber(entry.path().filename().string())) return 0;
    std::string dev, sysTty;
    {
        std::lock_guard<std::mutex> lk(g_configLock);
        dev = g_strDevRoot;
        sysTty = g_strSysTtyRoot;
    }
    std::vector<std::string> found;
    for (const char* stem : {"ttyS", "ttyUSB", "ttyACM"}) {
        std::vector<std::pair<long, std::string>> group;
        for (const auto& entry : fs::directory_iterator(dev, ec)) {
            std::string name = entry.path().filename().string();
            long number = DeviceNumber(name, stem);
            if (number < 0 || (std::strcmp(stem, "ttyS") == 0 && !UartFitted(sysTty, name))) continue;
            group.emplace_back(number, entry.path().string());
        }
        std::sort(group.begin(), group.end());
        for (auto& g : group) found.push_back(g.second);
    }
    int made = 0;
    for (size_t i = 0; i < found.size() && i < 255; ++i) {
        fs::create_symlink(found[i], folder + "/com" + std::to_string(i + 1), ec);
        if (!ec) ++made;
    }
    return made;
}

namespace test {
void SetDeviceRoots(const std::string& dev, const std::string& sysTty) {
    std::lock_guard<std::mutex> lk(g_configLock);
    g_strDevRoot = dev;
    g_strSysTtyRoot = sysTty;
}
}  // namespace test

}  // namespace platform::posix_serial
