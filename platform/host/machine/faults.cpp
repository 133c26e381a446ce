// Call counting and fault injection for the emulated machine.
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/host/machine/host.h"
#include "platform/host/machine/machine_state.h"

namespace platform::host {
namespace {

struct Fault {
    std::string name;
    int at;  // call number that fails
    DWORD error;
    bool persistent;
};

std::map<std::string, int>& Counts() {
    static std::map<std::string, int> counts;
    return counts;
}

std::vector<Fault>& Faults() {
    static std::vector<Fault> faults;
    return faults;
}

}  // namespace

void FailCall(const std::string& name, int occurrence, DWORD error, bool persistent) {
    Faults().push_back({name, Counts()[name] + occurrence, error, persistent});
}

void ClearFaults() {
    Faults().clear();
    Counts().clear();
}

int CallCount(const std::string& name) {
    auto it = Counts().find(name);
    return it == Counts().end() ? 0 : it->second;
}

bool Injected(const char* name, DWORD* error) {
    int n = ++Counts()[name];
    for (const Fault& f : Faults()) {
        if (f.name == name && (n == f.at || (f.persistent && n >= f.at))) {
            *error = f.error;
            return true;
        }
    }
    return false;
}

bool InjectedFailure(const char* name) {
    DWORD error = 0;
    if (!Injected(name, &error)) return false;
    SetError(error);
    return true;
}

bool FaultsFromText(const std::string& text, std::string* error) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(start, end - start);
        size_t c1 = item.find(':');
        size_t c2 = c1 == std::string::npos ? c1 : item.find(':', c1 + 1);
        if (c2 == std::string::npos || c1 == 0) {
            *error = "VKUPDATE_FAULTS: \"" + item + "\" is not Name:occurrence:error";
            return false;
        }
        std::string name = item.substr(0, c1);
        std::string at = item.substr(c1 + 1, c2 - c1 - 1);
        std::string code = item.substr(c2 + 1);
        char* stop = nullptr;
        unsigned long err = std::strtoul(code.c_str(), &stop, 0);
        bool every = at == "*";
        long n = every ? 1 : std::strtol(at.c_str(), nullptr, 10);
        if (code.empty() || *stop != '\0' || n < 1) {
            *error = "VKUPDATE_FAULTS: \"" + item + "\" is not Name:occurrence:error";
            return false;
        }
        FailCall(name, static_cast<int>(n), static_cast<DWORD>(err), every);
        start = end + 1;
    }
    return true;
}

}  // namespace platform::host
