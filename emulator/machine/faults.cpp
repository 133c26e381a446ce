// Call counting and fault injection for the emulated machine.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "emulator/machine/host.h"
#include "emulator/machine/machine_state.h"

namespace platform::host {
namespace {

struct Fault {
    std::string name;
    long long at;  // call number that fails
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

// Watching the counted calls from outside: each one recorded in a file, and the process
// stopped dead at a chosen one, as by a power cut or the task manager.
struct Watch {
    int record = -1;        // VKUPDATE_CALLS, open for appending; -1 when not recording
    long long killAt = 0;   // VKUPDATE_KILL_AT; 0 when no kill point is set
    long long counted = 0;  // counted calls since the machine was opened
};

Watch& Watched() {
    static Watch watch;
    return watch;
}

// Appends "Name occurrence" in one write, so that a line is never cut by a kill. A record that
// cannot be written is not the program's failure.
void Record(const char* name, int occurrence) {
    std::string line = std::string(name) + " " + std::to_string(occurrence) + "\n";
    WriteAll(Watched().record, line.data(), line.size());
}

// How deep the host is inside its own work (a platform call made by another one).
int& SystemDepth() {
    static int depth = 0;
    return depth;
}

// The names of the calls the machine counts, in the order of Call.
const char* const kCallNames[] = {
#define PLATFORM_CALL(name, dll, user, fault, error) PLATFORM_CALL_NAME_##fault(#name)
#define PLATFORM_METHOD(interface, method, dll, user, fault, error) PLATFORM_CALL_NAME_##fault(#interface "::" #method)
#define PLATFORM_CALL_NAME_COUNTED(name) name,
#define PLATFORM_CALL_NAME_UNCOUNTED(name)
#include "platform/platform_calls.def"
#undef PLATFORM_CALL
#undef PLATFORM_METHOD
#undef PLATFORM_CALL_NAME_COUNTED
#undef PLATFORM_CALL_NAME_UNCOUNTED
};

// A decimal number from 1 to INT_MAX, digits only.
bool ParseOccurrence(const std::string& text, long* value) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long long n = std::strtoll(text.c_str(), nullptr, 10);
    if (n < 1 || n > 0x7FFFFFFF) return false;
    *value = static_cast<long>(n);
    return true;
}

// An error number: decimal or 0x-hex, fitting 32 bits.
bool ParseError(const std::string& text, DWORD* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    errno = 0;
    char* stop = nullptr;
    unsigned long long n = std::strtoull(text.c_str(), &stop, 0);
    if (*stop != '\0' || errno == ERANGE || n > 0xFFFFFFFFull) return false;
    *value = static_cast<DWORD>(n);
    return true;
}

}  // namespace

const char* CallName(Call call) { return kCallNames[static_cast<size_t>(call)]; }

bool KnownCall(const std::string& name) {
    for (const char* known : kCallNames)
        if (name == known) return true;
    return false;
}

SystemWork::SystemWork() { ++SystemDepth(); }
SystemWork::~SystemWork() { --SystemDepth(); }

void FailCall(const std::string& name, int occurrence, DWORD error, bool persistent) {
    Faults().push_back({name, static_cast<long long>(Counts()[name]) + occurrence, error, persistent});
}

void ClearFaults() {
    Faults().clear();
    Counts().clear();
}

int CallCount(const std::string& name) {
    auto it = Counts().find(name);
    return it == Counts().end() ? 0 : it->second;
}

// Counts one more of `name` (a call or a point inside one), records it, and stops the process
// dead when it is the chosen kill point. Returns its occurrence.
int Count(const char* name) {
    int n = ++Counts()[name];
    Watch& watch = Watched();
    ++watch.counted;
    if (watch.record >= 0) Record(name, n);
    if (watch.counted == watch.killAt) raise(SIGKILL);
    return n;
}

void KillPoint(const char* name) {
    if (SystemDepth() == 0) Count(name);
}

bool Injected(Call call, DWORD* error) {
    if (SystemDepth() > 0) return false;  // the host's own calls are not the program's
    const char* name = CallName(call);
    int n = Count(name);
    for (const Fault& f : Faults()) {
        if (f.name == name && (n == f.at || (f.persistent && n >= f.at))) {
            *error = f.error;
            return true;
        }
    }
    return false;
}

bool InjectedFailure(Call call) {
    DWORD error = 0;
    if (!Injected(call, &error)) return false;
    SetError(error);
    return true;
}

bool WatchCalls(const std::string& recordFile, const std::string& killAt, std::string* error) {
    Watch& watch = Watched();
    if (watch.record >= 0) close(watch.record);
    watch = Watch();
    long point = 0;
    if (!killAt.empty() && !ParseOccurrence(killAt, &point)) {
        *error = "VKUPDATE_KILL_AT: \"" + killAt + "\" is not a call number from 1 to 2147483647";
        return false;
    }
    if (!recordFile.empty()) {
        watch.record = open(recordFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (watch.record < 0) {
            *error = "VKUPDATE_CALLS: " + recordFile + ": " + std::strerror(errno);
            return false;
        }
    }
    watch.killAt = point;
    return true;
}

bool FaultsFromText(const std::string& text, std::string* error) {
    std::vector<Fault> parsed;
    if (text.empty()) return true;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(start, end - start);
        auto fail = [&](const std::string& why) {
            *error = "VKUPDATE_FAULTS: \"" + item + "\": " + why;
            return false;
        };
        // Split at the last two colons: a method's name ("IPersistFile::Save") holds colons.
        size_t c2 = item.rfind(':');
        size_t c1 = c2 == std::string::npos || c2 == 0 ? std::string::npos : item.rfind(':', c2 - 1);
        if (c1 == std::string::npos) return fail("is not Name:occurrence:error");
        std::string name = item.substr(0, c1);
        std::string at = item.substr(c1 + 1, c2 - c1 - 1);
        std::string code = item.substr(c2 + 1);
        if (!KnownCall(name)) return fail("\"" + name + "\" is not a platform call of the machine");
        bool every = at == "*";
        long n = 1;
        if (!every && !ParseOccurrence(at, &n))
            return fail("the occurrence must be \"*\" or a number from 1 to 2147483647");
        DWORD err = 0;
        if (!ParseError(code, &err)) return fail("the error must be a number of at most 32 bits");
        parsed.push_back({name, static_cast<int>(n), err, every});
        if (end == text.size()) break;
        start = end + 1;
    }
    for (const Fault& f : parsed) FailCall(f.name, f.at, f.error, f.persistent);
    return true;
}

}  // namespace platform::host
