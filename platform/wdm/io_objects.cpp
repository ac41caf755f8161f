// Driver and device objects, device stacks and the name space of devices and links.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/wdm/internal.h"
#include "platform/wdm/wdm_test.h"

namespace {

std::mutex g_namesLock;
std::map<std::string, PDEVICE_OBJECT> g_devices;    // \Device\... names
std::map<std::string, std::string> g_links;         // \DosDevices\... to device names
std::map<PDEVICE_OBJECT, std::string> g_deviceNames;

constexpr ULONG kDeviceTag = platform::wdm::TagOf("Devi");

void FreeDevice(PDEVICE_OBJECT device) { ExFreePool(device); }

}  // namespace

namespace platform::wdm {

void Fault(const char* what) {
    std::fprintf(stderr, "kernel stand-in: %s\n", what);
    std::abort();
}

std::string Narrow(const UNICODE_STRING& text) {
    std::string out;
    for (USHORT i = 0; i < text.Length / 2; ++i) out += static_cast<char>(text.Buffer[i]);
    return out;
}

NTSTATUS InvalidDeviceRequest(PDEVICE_OBJECT, PIRP irp) {
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

PDRIVER_OBJECT LoadDriver(const char* name, PDRIVER_INITIALIZE entry, NTSTATUS* status) {
    auto* driver = new DRIVER_OBJECT{};
    driver->DriverExtension = new DRIVER_EXTENSION{driver, nullptr};
    for (auto& dispatch : driver->MajorFunction) dispatch = InvalidDeviceRequest;
    *status = entry(driver, nullptr);
    if (!NT_SUCCESS(*status)) {
        UnloadDriver(driver);
        return nullptr;
    }
    return driver;
}

void UnloadDriver(PDRIVER_OBJECT driver) {
    if (!driver) return;
    if (driver->DeviceObject) Fault("a driver was unloaded while it still had device objects");
    if (driver->DriverUnload) driver->DriverUnload(driver);
    delete driver->DriverExtension;
    delete driver;
}

PDEVICE_OBJECT FindDeviceByLink(const std::string& dosName) {
    std::lock_guard<std::mutex> lk(g_namesLock);
    auto link = g_links.find(dosName);
    if (link == g_links.end()) return nullptr;
    auto device = g_devices.find(link->second);
    return device == g_devices.end() ? nullptr : device->second;
}

bool LinkExists(const std::string& name) {
    std::lock_guard<std::mutex> lk(g_namesLock);
    return g_links.count(name) != 0;
}

std::string LinkTarget(const std::string& name) {
    std::lock_guard<std::mutex> lk(g_namesLock);
    auto it = g_links.find(name);
    return it == g_links.end() ? std::string() : it->second;
}

void ReferenceDevice(PDEVICE_OBJECT device) { InterlockedIncrement(&device->ReferenceCount); }

void DereferenceDevice(PDEVICE_OBJECT device) {
    if (InterlockedDecrement(&device->ReferenceCount) == 0 && device->DeletePending) FreeDevice(device);
}

}  // namespace platform::wdm

using namespace platform::wdm;

void RtlInitUnicodeString(PUNICODE_STRING destination, const WCHAR* source) {
    USHORT units = 0;
    if (source)
        while (source[units]) ++units;
    destination->Buffer = const_cast<PWSTR>(source);
    destination->Length = static_cast<USHORT>(units * 2);
    destination->MaximumLength = source ? static_cast<USHORT>(units * 2 + 2) : 0;
}

NTSTATUS IoCreateDevice(PDRIVER_OBJECT driver, ULONG extensionSize, PUNICODE_STRING name, ULONG type,
                        ULONG characteristics, BOOLEAN, PDEVICE_OBJECT* device) {
    *device = nullptr;
    std::string text = name ? Narrow(*name) : std::string();
    {
        std::lock_guard<std::mutex> lk(g_namesLock);
        if (!text.empty() && g_devices.count(text)) return STATUS_OBJECT_NAME_COLLISION;
    }
    if (TakeInjectedFailure()) return STATUS_INSUFFICIENT_RESOURCES;
    SIZE_T head = (sizeof(DEVICE_OBJECT) + 15) & ~SIZE_T{15};
    auto* object = static_cast<PDEVICE_OBJECT>(AllocateSystemPool(head + extensionSize, kDeviceTag));
    if (!object) return STATUS_INSUFFICIENT_RESOURCES;
    std::memset(object, 0, head + extensionSize);
    object->Type = 3;
    object->Size = static_cast<USHORT>(sizeof(DEVICE_OBJECT));
    object->DriverObject = driver;
    object->DeviceExtension = extensionSize ? reinterpret_cast<char*>(object) + head : nullptr;
    object->DeviceType = type;
    object->Characteristics = characteristics;
    object->Flags = DO_DEVICE_INITIALIZING;
    object->StackSize = 1;
    object->NextDevice = driver->DeviceObject;
    driver->DeviceObject = object;
    std::lock_guard<std::mutex> lk(g_namesLock);
    if (!text.empty()) {
        g_devices[text] = object;
        g_deviceNames[object] = text;
    }
    *device = object;
    return STATUS_SUCCESS;
}

void IoDeleteDevice(PDEVICE_OBJECT device) {
    if (device->AttachedTo) Fault("a device object was deleted while still attached to the one below");
    if (device->DeletePending) Fault("a device object was deleted twice");
    for (PDEVICE_OBJECT* link = &device->DriverObject->DeviceObject; *link; link = &(*link)->NextDevice) {
        if (*link == device) {
            *link = device->NextDevice;
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lk(g_namesLock);
        auto it = g_deviceNames.find(device);
        if (it != g_deviceNames.end()) {
            g_devices.erase(it->second);
            g_deviceNames.erase(it);
        }
    }
    device->DeletePending = TRUE;
    if (device->ReferenceCount == 0) FreeDevice(device);
}

PDEVICE_OBJECT IoGetAttachedDevice(PDEVICE_OBJECT device) {
    while (device->AttachedDevice) device = device->AttachedDevice;
    return device;
}

PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT source, PDEVICE_OBJECT target) {
    PDEVICE_OBJECT top = IoGetAttachedDevice(target);
    if (top->DeletePending) return nullptr;
    top->AttachedDevice = source;
    source->AttachedTo = top;
    source->StackSize = static_cast<CCHAR>(top->StackSize + 1);
    return top;
}

void IoDetachDevice(PDEVICE_OBJECT target) {
    PDEVICE_OBJECT above = target->AttachedDevice;
    if (!above) return;
    above->AttachedTo = nullptr;
    target->AttachedDevice = nullptr;
}

NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING target) {
    if (TakeInjectedFailure()) return STATUS_INSUFFICIENT_RESOURCES;
    std::lock_guard<std::mutex> lk(g_namesLock);
    std::string name = Narrow(*link);
    if (g_links.count(name)) return STATUS_OBJECT_NAME_COLLISION;
    g_links[name] = Narrow(*target);
    return STATUS_SUCCESS;
}

NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING link) {
    std::lock_guard<std::mutex> lk(g_namesLock);
    return g_links.erase(Narrow(*link)) ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}
