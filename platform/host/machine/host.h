// Control of the emulated Windows machine, for the host program, vkmachine and tests.
// Nothing here is reachable from the logic: it only sees the platform/*.h calls.
#pragma once

#include <string>

#include "platform_types.h"

namespace platform::host {

// What kind of Windows the machine is, from machine.ini (defaults in brackets there).
struct MachineConfig {
    DWORD platformId = 2;
    DWORD major = 5;
    DWORD minor = 1;
    UINT codepage = 932;
    bool admin = true;
    bool shfolder = true;
    std::string temp = "C:\\WINDOWS\\TEMP\\";      // machine code page, ends with a backslash
    std::string system = "C:\\WINDOWS\\system32";  // machine code page
    std::string documents = "C:\\Documents and Settings\\user\\My Documents";
};

// Opens the machine kept in folder `dir`: reads machine.ini and registry.reg. On failure
// `error` names the file and line, and nothing of the machine is changed.
bool OpenMachine(const std::string& dir, std::string* error);
// Opens the machine named by VKUPDATE_MACHINE; the error says how to make one.
bool OpenMachineFromEnvironment(std::string* error);
void CloseMachine();
bool MachineIsOpen();
const std::string& MachineDir();
const MachineConfig& Config();
// Parses machine.ini text; `file` names it in errors.
bool ParseMachineIni(const std::string& text, const std::string& file, MachineConfig* config,
                     std::string* error);

// Code page conversions between the machine's ANSI code page and UTF-8 / UTF-16.
bool AnsiToUtf8(const std::string& ansi, std::string* utf8);
bool Utf8ToAnsi(const std::string& utf8, std::string* ansi);
bool Utf16ToAnsi(const char16_t* text, size_t length, std::string* ansi);
bool AnsiToUtf16(const std::string& ansi, std::u16string* text);
bool Utf16ToUtf8(const char16_t* text, size_t length, std::string* utf8);
// True when `c` starts a double-byte character in the machine's code page.
bool IsLeadByte(unsigned char c);

// Maps a Windows path (machine code page) to the host file system, matching every existing
// component without regard to case. Components that do not exist keep their spelling.
// Returns an ERROR_* code, ERROR_SUCCESS when mapped.
DWORD ToHostPath(const std::string& windowsPath, std::string* hostPath);

// Fault injection: the `occurrence`-th call (1-based, counted from now) of the platform
// function `name` fails with `error`; with `persistent` every call from then on fails.
void FailCall(const std::string& name, int occurrence, DWORD error, bool persistent = false);
void ClearFaults();
// How often `name` was called since the last ClearFaults or OpenMachine.
int CallCount(const std::string& name);
// Every host platform call starts with this: counts the call and says whether to fail it.
bool Injected(const char* name, DWORD* error);
// Parses VKUPDATE_FAULTS ("Name:occurrence:error[,...]", occurrence "*" for every call).
bool FaultsFromText(const std::string& text, std::string* error);

// Whether the process token's shutdown privilege is enabled.
bool ShutdownPrivilegeEnabled();

// The updater's own module, whose resources are the embedded .res.
HINSTANCE ModuleHandle();

}  // namespace platform::host

namespace platform::host {
// Does what Windows does with PendingFileRenameOperations at start: each rename (replacing the
// target when it was recorded with MOVEFILE_REPLACE_EXISTING) or delete in order, then removes
// the value. `report` gets one line (UTF-8) per operation; false when an operation or the
// registry failed, with `error` saying which (the other operations are still done).
bool PerformPendingOperations(std::string* report, std::string* error);
}  // namespace platform::host
