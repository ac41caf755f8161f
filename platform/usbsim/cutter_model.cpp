#include "platform/usbsim/cutter_model.h"

namespace platform::usbsim {

bool ParseTarget(const std::string& name, UsbTarget* target) {
    static const std::map<std::string, UsbTarget> names = {
        {"device", UsbTarget::DeviceDescriptor}, {"config", UsbTarget::ConfigDescriptor},
        {"string", UsbTarget::StringDescriptor}, {"select", UsbTarget::Select},
        {"control", UsbTarget::Control},         {"pipe0", UsbTarget::Pipe0},
        {"pipe1", UsbTarget::Pipe1},             {"pipe2", UsbTarget::Pipe2},
        {"pipe3", UsbTarget::Pipe3},             {"start", UsbTarget::Start}};
    auto it = names.find(name);
    if (it == names.end()) return false;
    *target = it->second;
    return true;
}

CCutterDevice::CCutterDevice() : m_aEndpoints{0x01, 0x82, 0x03, 0x84} {
    const char* id = "MFG:Zbk;MDL:Kestra;CMD:HPGL;";
    std::string text(id);
    m_aControlReply.push_back(0);
    m_aControlReply.push_back(static_cast<BYTE>(text.size() + 2));
    m_aControlReply.insert(m_aControlReply.end(), text.begin(), text.end());
}

std::vector<BYTE> CCutterDevice::DeviceDescriptor() const {
    return {18, USB_DEVICE_DESCRIPTOR_TYPE, 0x10, 0x01, 0, 0, 0, 64, 0x34, 0x12, 0x78, 0x56, 0x00, 0x01, 1, 2, 0, 1};
}

std::vector<BYTE> CCutterDevice::ConfigurationDescriptor() const {
    std::vector<BYTE> d = {9, USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0, m_nInterfaces, 1, 0, 0xC0, 50};
    if (m_nInterfaces > 0) {
        std::vector<BYTE> interface = {9, USB_INTERFACE_DESCRIPTOR_TYPE, 0, 0, static_cast<BYTE>(m_aEndpoints.size()),
                                       0x07, 0x01, 0x02, 0};
        d.insert(d.end(), interface.begin(), interface.end());
        for (BYTE address : m_aEndpoints) {
            std::vector<BYTE> endpoint = {7, USB_ENDPOINT_DESCRIPTOR_TYPE, address, 0x02, 64, 0, 0};
            d.insert(d.end(), endpoint.begin(), endpoint.end());
        }
    }
    USHORT total = m_nTotalLength ? m_nTotalLength : static_cast<USHORT>(d.size());
    d[2] = static_cast<BYTE>(total & 0xFF);
    d[3] = static_cast<BYTE>(total >> 8);
    if (d.size() > total) d.resize(total);
    return d;
}

std::vector<BYTE> CCutterDevice::StringDescriptor(UCHAR index) const {
    std::string text;
    if (index == 0) return {4, USB_STRING_DESCRIPTOR_TYPE, 0x09, 0x04};
    if (index == 1) text = "Zbk";
    if (index == 2) text = "Kestra USB Cutter";
    if (text.empty()) return {};
    std::vector<BYTE> d = {static_cast<BYTE>(2 + 2 * text.size()), USB_STRING_DESCRIPTOR_TYPE};
    for (char c : text) {
        d.push_back(static_cast<BYTE>(c));
        d.push_back(0);
    }
    return d;
}

void CCutterDevice::AddOutcome(UsbTarget target, const SUsbOutcome& outcome, long count) {
    m_aOutcomes[target].push_back({outcome, count});
}

SUsbOutcome CCutterDevice::TakeOutcome(UsbTarget target) {
    auto& queue = m_aOutcomes[target];
    if (queue.empty()) return {};
    SUsbOutcome outcome = queue.front().outcome;
    if (queue.front().nCount > 0 && --queue.front().nCount == 0) queue.pop_front();
    return outcome;
}

}  // namespace platform::usbsim
