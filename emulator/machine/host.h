// Control of the emulated Windows machine, for the host program, vkmachine and tests.
// Nothing here is reachable from the logic: it only sees the platform/*.h calls.
#pragma once

#include <string>
#include <vector>

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
    bool shortnames = true;  // 8.3 aliases of long file names, as Windows makes them by default
    std::string temp = "C:\\WINDOWS\\TEMP\\";      // machine code page, ends with a backslash
    std::string system = "C:\\WINDOWS\\system32";  // machine code page
    std::string documents = "C:\\Documents and Settings\\user\\My Documents";
    // What a limited user may not change from Windows 2000 on (machine code page).
    std::string programFiles = "C:\\Program Files";
    // [drives]: the size in bytes of each drive A to Z that has one; 0 for a drive as large as
    // the host file system that holds the machine.
    unsigned long long driveSize[26] = {};
};

// Opens the machine kept in folder `dir`: reads machine.ini and registry.reg. On failure
// `error` names the file and line, and nothing of the machine is changed. A machine whose
// machine.ini or registry.reg is missing or cannot be read is refused.
bool OpenMachine(const std::string& dir, std::string* error);
// Writes the empty registry.reg of a new machine into folder `dir`.
bool WriteEmptyRegistry(const std::string& dir, std::string* error);
// Opens the machine named by VKUPDATE_MACHINE; the error says how to make one.
bool OpenMachineFromEnvironment(std::string* error);
void CloseMachine();
bool MachineIsOpen();
const std::string& MachineDir();
const MachineConfig& Config();
// Parses machine.ini text; `file` names it in errors.
bool ParseMachineIni(const std::string& text, const std::string& file, MachineConfig* config,
                     std::string* error);

// A Windows error number in words for messages, "no such folder (error 3)"; `notFound` names
// what error 2 means where it is not a file ("no such value"). A number the table lacks
// shows alone.
std::string ErrorText(DWORD error, const char* notFound = nullptr);

// Code page conversions between the machine's ANSI code page and UTF-8 / UTF-16.
bool AnsiToUtf8(const std::string& ansi, std::string* utf8);
bool Utf8ToAnsi(const std::string& utf8, std::string* ansi);
bool Utf16ToAnsi(const char16_t* text, size_t length, std::string* ansi);
bool AnsiToUtf16(const std::string& ansi, std::u16string* text);
// `ansi` in UTF-16 by `convert`, character by character when the whole does not convert: the
// bytes of a character that does not convert are kept as unpaired low surrogates (0xDC00 +
// byte), out of the way of any text.
std::u16string Utf16KeepingBytes(const std::string& ansi, bool (*convert)(const std::string&, std::u16string*));
bool Utf16ToUtf8(const char16_t* text, size_t length, std::string* utf8);
// The same conversions in a given code page, for text of a machine not (yet) open.
bool AnsiToUtf8(UINT codepage, const std::string& ansi, std::string* utf8);
bool Utf8ToAnsi(UINT codepage, const std::string& utf8, std::string* ansi);
// True when the machine's code page gives ASCII text the bytes UTF-8 gives it, as the ANSI
// code pages do: such text needs no conversion either way.
bool AsciiIsAnsi();
// The UTF-8 form of an ANSI text for messages; a text that does not convert shows as far as
// it does.
std::string Utf8(const std::string& ansi);
// True when `c` starts a double-byte character in the machine's code page (or in `codepage`).
bool IsLeadByte(unsigned char c);
bool IsLeadByte(UINT codepage, unsigned char c);
// True when the last character of `ansi` is a backslash: a 0x5C that is the trail byte of a
// double-byte character is not one. Every "ends with a separator" of the host asks this.
bool EndsWithBackslash(const std::string& ansi);
bool EndsWithBackslash(UINT codepage, const std::string& ansi);
// Names compared as Windows compares them: on their UTF-16 form, upper-cased as Windows
// upper-cases (ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic, full-width Latin).
// Bytes that do not convert are compared as they are.
std::u16string FoldName(const std::string& ansi);
bool SameName(const std::string& a, const std::string& b);

// True when `path` names a host folder.
bool IsDirectory(const std::string& path);
// Sets the last error to `error` unless it is ERROR_SUCCESS; TRUE exactly for ERROR_SUCCESS.
BOOL Result(DWORD error);

// Maps a Windows path (machine code page) to the host file system, matching every existing
// component without regard to case. Components that do not exist keep their spelling.
// Returns an ERROR_* code, ERROR_SUCCESS when mapped.
DWORD ToHostPath(const std::string& windowsPath, std::string* hostPath);

// The platform calls the machine counts and can fail: the COUNTED rows of
// platform/platform_calls.def, a method as interface_method.
enum class Call {
#define PLATFORM_CALL(name, dll, user, fault, error) PLATFORM_CALL_ENUM_##fault(name)
#define PLATFORM_METHOD(interface, method, dll, user, fault, error) PLATFORM_CALL_ENUM_##fault(interface##_##method)
#define PLATFORM_CALL_ENUM_COUNTED(id) id,
#define PLATFORM_CALL_ENUM_UNCOUNTED(id)
#include "platform/platform_calls.def"
#undef PLATFORM_CALL
#undef PLATFORM_METHOD
#undef PLATFORM_CALL_ENUM_COUNTED
#undef PLATFORM_CALL_ENUM_UNCOUNTED
};
// The call's name as VKUPDATE_FAULTS and VKUPDATE_CALLS spell it ("IPersistFile::Save").
const char* CallName(Call call);

// Fault injection: the `occurrence`-th call (1-based, counted from now) of the platform
// function `name` fails with `error`; with `persistent` every call from then on fails.
void FailCall(const std::string& name, int occurrence, DWORD error, bool persistent = false);
void ClearFaults();
// How often `name` was called since the last ClearFaults or OpenMachine.
int CallCount(const std::string& name);
// Every host platform call starts with this: counts the call and says whether to fail it.
bool Injected(Call call, DWORD* error);
// A point inside a call where a kill may land, such as each piece of a copy
// ("CopyFileA.piece"): recorded and counted for VKUPDATE_KILL_AT as a call is, never failed.
void KillPoint(const char* name);
// Parses VKUPDATE_FAULTS ("Name:occurrence:error[,...]", occurrence "*" for every call). A
// setting that could never fire (an unknown call, an occurrence that is not a number from 1,
// an error that does not fit 32 bits) is refused whole, with `error` saying why.
bool FaultsFromText(const std::string& text, std::string* error);
// Watches the counted calls (VKUPDATE_CALLS, VKUPDATE_KILL_AT): with `recordFile` not empty
// each counted call appends "Name occurrence" to it; with `killAt` ("N", from 1) the process
// kills itself with SIGKILL at its Nth counted call, before doing it. Counted from now. False,
// with `error` saying why, when the file cannot be opened or the number is not one.
bool WatchCalls(const std::string& recordFile, const std::string& killAt, std::string* error);
// True when `name` is a platform call the machine emulates (and counts).
bool KnownCall(const std::string& name);
// While one exists, platform calls are the machine's own work inside another call (the
// registry write of MoveFileExA): they are neither counted nor failed by injected faults.
class SystemWork {
public:
    SystemWork();
    ~SystemWork();
    SystemWork(const SystemWork&) = delete;
    SystemWork& operator=(const SystemWork&) = delete;
};

// Whether the process token's shutdown privilege is enabled.
bool ShutdownPrivilegeEnabled();

// The updater's own module, whose resources are the embedded .res.
HINSTANCE ModuleHandle();

}  // namespace platform::host

namespace platform::host {
// Restarts the machine: every program ends and every driver is unloaded (every hold ends);
// then, as Windows does at start, each operation of PendingFileRenameOperations in order (a
// rename, replacing the target when it was recorded with MOVEFILE_REPLACE_EXISTING, or a
// delete), the value removed, and the drivers loaded (LoadStartDrivers). `report` gets one
// line (UTF-8) per operation and driver; false when an operation or the registry failed, with
// `error` saying which (the other operations are still done).
bool RestartMachine(std::string* report, std::string* error);
// The bytes the files of drive `drive` ('A' to 'Z') of the open machine take, in whole
// clusters; false when the machine has no such drive (disk_space.cpp).
bool DriveHeldBytes(char drive, unsigned long long* bytes);
// Loads the drivers the NT family loads as it starts: every service under
// SYSTEM\CurrentControlSet\Services of a kernel or file-system driver type (1, 2) with start
// type 0, 1 or 2 whose file exists (its ImagePath, or Drivers\<service>.SYS in the system
// folder) is held as a loaded image until the next restart: readable and renamable (the hold
// follows), neither writable nor deletable, not ended by programs ending. Nothing on 95/98/Me.
// One report line per driver loaded; ERROR_SUCCESS or the error of saving the holds.
DWORD LoadStartDrivers(std::string* report);
// Starts the programs of the Run keys (HKLM and HKCU ...\Windows\CurrentVersion\Run) whose
// command names an existing program, as the user's logon does: each is a running program
// until it ends (vkmachine stop). One report line per program; ERROR_SUCCESS or the error of
// saving the holds.
DWORD StartLogonPrograms(std::string* report);

// Another program holding a file of the machine (a Windows path, machine code page): open
// with `read`/`write`/`del` access and the FILE_SHARE_* bits of `share`, or, with `image`, a
// running program's executable (readable and renamable, neither writable nor deletable).
// Recorded in holds.txt beside the drives until released. ERROR_SUCCESS, or an ERROR_* code:
// the file must exist, and the holds must allow the open.
DWORD HoldFile(const std::string& windowsPath, bool read, bool write, bool del, DWORD share, bool image);
// The same for a program that opened the file with the access rights `access` as CreateFileA
// takes them: execute access shares as reading does, and a hold without data access (0, or
// only attribute, extended-attribute, SYNCHRONIZE or READ_CONTROL rights) takes no part in
// share checks.
DWORD HoldFileWithAccess(const std::string& windowsPath, DWORD access, DWORD share);
// Ends the holds on a file (`windowsPath`), or with an empty path every hold, or with
// `imagesOnly` the running programs; a file deleted while held goes with its last hold.
// ERROR_SUCCESS, or ERROR_NOT_FOUND when nothing was held.
DWORD ReleaseHeldFiles(const std::string& windowsPath, bool imagesOnly);

// One entry of PendingFileRenameOperations: source and target as recorded ("" = delete).
struct PendingOperation {
    std::string from;
    std::string to;
};
// Reads the value as the restart does, for the restart and the recorder alike: pairs of
// strings up to the empty string that ends the list. A last source without its target goes to
// `unpaired` (when given), never into a pair.
std::vector<PendingOperation> ParsePendingOperations(const std::string& data,
                                                     std::vector<std::string>* unpaired);
}  // namespace platform::host
