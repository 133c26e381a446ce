// Operations pending until restart: recorded by MoveFileExA(MOVEFILE_DELAY_UNTIL_REBOOT) in
// PendingFileRenameOperations, as Windows records them, and performed at the next start.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "emulator/files/file_system.h"
#include "emulator/machine/host.h"
#include "emulator/machine/machine_state.h"
#include "emulator/registry/registry_store.h"
#include "platform/registry.h"

namespace platform::host {
namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";
const char kNtPrefix[] = "\\??\\";

// Reads the value's bytes; ERROR_FILE_NOT_FOUND when there is none.
LONG ReadPending(HKEY key, std::string* data) {
    DWORD type = 0, size = 0;
    LONG r = RegQueryValueExA(key, kPending, nullptr, &type, nullptr, &size);
    if (r != ERROR_SUCCESS) return r;
    if (type != REG_MULTI_SZ) return ERROR_INVALID_DATA;
    data->assign(size, '\0');
    if (size == 0) return ERROR_SUCCESS;
    r = RegQueryValueExA(key, kPending, nullptr, &type, reinterpret_cast<BYTE*>(&(*data)[0]), &size);
    data->resize(size);
    return r;
}

std::string StripPrefix(const std::string& name) {
    size_t n = sizeof kNtPrefix - 1;
    return name.compare(0, n, kNtPrefix) == 0 ? name.substr(n) : name;
}

// One recorded operation, done as the system does it at start (no administrator or system
// folder checks: nothing runs yet).
DWORD Perform(const std::string& from, const std::string& to, bool replace) {
    Target a, b;
    DWORD error = ResolveTarget(from.c_str(), &a);
    if (error != ERROR_SUCCESS) return error;
    if (!a.exists) return a.parentIsDir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    if (to.empty()) {
        if ((a.isDir ? rmdir(a.host.c_str()) : unlink(a.host.c_str())) != 0) return ErrorFromErrno(errno);
        return ForgetAttributes(a.host);
    }
    error = ResolveTarget(to.c_str(), &b);
    if (error != ERROR_SUCCESS) return error;
    if (replace && b.exists && !b.isDir) {
        DWORD bits = ReadAttributes(b.host, false);
        if (bits & FILE_ATTRIBUTE_READONLY) {
            error = WriteAttributes(b.host, bits & ~FILE_ATTRIBUTE_READONLY);
            if (error != ERROR_SUCCESS) return error;
        }
    }
    return MoveTarget(a, b, (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_COPY_ALLOWED);
}

// The system starts again: its drivers are loaded from the files the operations left, then the
// user logs on and the programs of the Run keys start.
bool StartAgain(std::string* report, std::string* error) {
    DWORD r = LoadStartDrivers(report);
    if (r == ERROR_SUCCESS) r = StartLogonPrograms(report);
    if (r == ERROR_SUCCESS) return true;
    *error += (error->empty() ? "" : "; ") + std::string("cannot record the loaded drivers and programs (error ") +
              std::to_string(r) + ")";
    return false;
}

std::string Serialize(const std::vector<PendingOperation>& operations) {
    std::string data;
    for (const PendingOperation& op : operations) {
        data += op.from;
        data += '\0';
        data += op.to;
        data += '\0';
    }
    return data + '\0';
}

}  // namespace

std::vector<PendingOperation> ParsePendingOperations(const std::string& data, std::vector<std::string>* unpaired) {
    // The strings of the list, each ended by a NUL; a last one without its NUL still counts.
    std::vector<std::string> strings;
    for (size_t start = 0; start < data.size();) {
        size_t end = data.find('\0', start);
        if (end == std::string::npos) end = data.size();
        strings.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    std::vector<PendingOperation> operations;
    for (size_t i = 0; i < strings.size(); i += 2) {
        if (strings[i].empty()) break;  // the empty string that ends the list
        if (i + 1 >= strings.size()) {
            if (unpaired != nullptr) unpaired->push_back(strings[i]);
            break;
        }
        operations.push_back({strings[i], strings[i + 1]});
    }
    return operations;
}

DWORD RecordPendingOperation(const WindowsPath& from, const WindowsPath* to, bool replace) {
    SystemWork system;  // the registry calls below are the machine's, not the program's
    PendingOperation entry;
    entry.from = kNtPrefix + from.Text();
    if (to != nullptr) entry.to = (replace ? "!" : "") + std::string(kNtPrefix) + to->Text();
    HKEY key = nullptr;
    LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS) return static_cast<DWORD>(r);
    std::string data;
    r = ReadPending(key, &data);
    if (r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND) {
        // Written back as the restart reads it: whole pairs, then the empty string that ends the
        // list, so that a damaged value cannot shift the new entry out of its pair.
        std::vector<PendingOperation> operations = ParsePendingOperations(data, nullptr);
        operations.push_back(entry);
        data = Serialize(operations);
        r = RegSetValueExA(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size()));
    }
    RegCloseKey(key);
    return static_cast<DWORD>(r);
}

bool RestartMachine(std::string* report, std::string* error) {
    report->clear();
    error->clear();
    if (!MachineIsOpen()) {
        *error = "no machine is open";
        return false;
    }
    // Every program ends with the system, and its drivers are unloaded: the files deleted while
    // they held them go.
    ReleaseHolds("", HoldsEnd::kRestart);
    // The restart is the system's own work: an `admin = 0` machine does not limit it.
    DWORD type = 0;
    std::string data;
    DWORD r = RegReadSystemValue(kLocalMachine, kSessionManager, kPending, &type, &data);
    if (r == ERROR_FILE_NOT_FOUND) {
        *report = "no pending file operations\n";
        return StartAgain(report, error);
    }
    if (r == ERROR_SUCCESS && type != REG_MULTI_SZ) {
        // Left by other software with another type: the restart reads no list from it and
        // leaves it where it is.
        *report = "PendingFileRenameOperations is not a list (type " + std::to_string(type) + "): nothing done\n";
        return StartAgain(report, error);
    }
    if (r != ERROR_SUCCESS) {
        *error = "cannot read PendingFileRenameOperations: " + ErrorText(r, "no such value");
        return false;
    }
    std::vector<std::string> unpaired;
    bool ok = true;
    // Pairs of strings: source, then target ("" = delete, leading '!' = replace an existing one).
    for (const PendingOperation& op : ParsePendingOperations(data, &unpaired)) {
        std::string from = StripPrefix(op.from), to = op.to;
        bool replace = !to.empty() && to[0] == '!';
        to = StripPrefix(replace ? to.substr(1) : to);
        DWORD e = Perform(from, to, replace);
        std::string what = to.empty() ? "delete " + Utf8(from) : "rename " + Utf8(from) + " -> " + Utf8(to);
        if (e == ERROR_SUCCESS) {
            *report += what + "\n";
        } else if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) {
            // Windows passes over an operation whose source is gone and does the rest.
            *report += what + ": skipped, the source is gone: " + ErrorText(e) + "\n";
        } else {
            *report += what + ": failed: " + ErrorText(e) + "\n";
            *error += (error->empty() ? "" : "; ") + what + ": " + ErrorText(e);
            ok = false;
        }
    }
    for (const std::string& entry : unpaired)
        *report += "skipped " + Utf8(StripPrefix(entry)) + ": an entry without its target\n";
    r = RegDeleteSystemValue(kLocalMachine, kSessionManager, kPending);
    if (r != ERROR_SUCCESS) {
        *error += (error->empty() ? "" : "; ") + std::string("cannot clear PendingFileRenameOperations: ") + ErrorText(r, "no such value");
        return false;
    }
    return StartAgain(report, error) && ok;
}

}  // namespace platform::host
