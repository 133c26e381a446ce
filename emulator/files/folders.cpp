// Folders of the emulated machine: CreateDirectoryA, RemoveDirectoryA, and the temporary and
// system folders the machine names in machine.ini.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"
#include "platform/files.h"

namespace platform::host {
namespace {

// CreateDirectoryA leaves room for an 8.3 name below the folder: MAX_PATH - 12 characters, the
// NUL included.
const size_t kLongestFolder = MAX_PATH - 12 - 1;

bool TooLongForAFolder(const WindowsPath& path) {
    std::u16string units;
    std::string text = path.Text();
    return AnsiToUtf16(text, &units) ? units.size() > kLongestFolder : text.size() > kLongestFolder;
}

// Windows' rule for a returned folder: the length without the NUL when it fits, else the size
// needed with the NUL and nothing written.
DWORD CopyOut(const std::string& text, char* buffer, DWORD size) {
    if (buffer == nullptr || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

}  // namespace
}  // namespace platform::host

namespace platform {

BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES) {
    using namespace host;
    DWORD error = 0;
    if (Injected(Call::CreateDirectoryA, &error)) return Result(error);
    Target t;
    error = ResolveTarget(name, &t);
    if (error == ERROR_SUCCESS && TooLongForAFolder(t.win)) error = ERROR_FILENAME_EXCED_RANGE;
    if (error == ERROR_SUCCESS && t.exists) error = ERROR_ALREADY_EXISTS;
    if (error == ERROR_SUCCESS && !t.parentIsDir) error = ERROR_PATH_NOT_FOUND;
    if (error == ERROR_SUCCESS) error = CheckWriteAccess(t.win);
    if (error == ERROR_SUCCESS && mkdir(t.leafHost.c_str(), 0777) != 0) error = ErrorFromErrno(errno);
    if (error == ERROR_SUCCESS) ForgetAttributes(t.leafHost);
    return Result(error);
}

BOOL RemoveDirectoryA(LPCSTR name) {
    using namespace host;
    DWORD error = 0;
    if (Injected(Call::RemoveDirectoryA, &error)) return Result(error);
    Target t;
    error = ResolveTarget(name, &t);
    if (error == ERROR_SUCCESS && !t.exists)
        error = t.parentIsDir ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    if (error == ERROR_SUCCESS && !t.isDir) error = ERROR_DIRECTORY;
    if (error == ERROR_SUCCESS && t.win.parts.empty()) error = ERROR_ACCESS_DENIED;
    if (error == ERROR_SUCCESS) error = CheckWriteAccess(t.win);
    if (error == ERROR_SUCCESS && (ReadAttributes(t.host, true) & FILE_ATTRIBUTE_READONLY))
        error = ERROR_ACCESS_DENIED;
    if (error == ERROR_SUCCESS && rmdir(t.host.c_str()) != 0)
        error = errno == EEXIST ? ERROR_DIR_NOT_EMPTY : ErrorFromErrno(errno);
    if (error == ERROR_SUCCESS) ForgetAttributes(t.host);
    return Result(error);
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    if (host::InjectedFailure(host::Call::GetTempPathA)) return 0;
    return host::CopyOut(host::Config().temp, buffer, size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    if (host::InjectedFailure(host::Call::GetSystemDirectoryA)) return 0;
    return host::CopyOut(host::Config().system, buffer, size);
}

}  // namespace platform
