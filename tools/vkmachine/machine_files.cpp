#include "tools/vkmachine/machine_files.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "platform/files.h"
#include "emulator/machine/host.h"
#include "platform/system.h"

namespace host = platform::host;

namespace {

WriteLog* current = nullptr;

}  // namespace

int UsageError(const std::string& why) {
    std::cerr << "vkmachine: " << why << " (vkmachine --help shows the usage)\n";
    return 2;
}

WriteLog::WriteLog() : outer_(current) { current = this; }

WriteLog::~WriteLog() { current = outer_; }

void WriteLog::Note(bool folder, const std::string& path, bool onHost) {
    if (current != nullptr) current->made_.push_back({folder, onHost, path});
}

void WriteLog::Undo() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
        std::error_code ignored;
        if (it->onHost)
            std::filesystem::remove(it->path, ignored);  // only when empty
        else if (it->folder)
            platform::RemoveDirectoryA(it->path.c_str());
        else
            platform::DeleteFileA(it->path.c_str());
    }
    made_.clear();
}

bool MachinePath(const std::string& utf8, std::string* ansi) {
    return host::Utf8ToAnsi(utf8, ansi) && ansi->size() >= 4 && std::isalpha(static_cast<unsigned char>((*ansi)[0])) &&
           (*ansi)[1] == ':' && (*ansi)[2] == '\\';
}

namespace {

// Makes one folder. CreateDirectoryA leaves room for an 8.3 name below a new folder, so a
// folder longer than that is made as a Windows user gets one: under a short name, renamed.
bool MakeFolder(const std::string& path) {
    if (platform::CreateDirectoryA(path.c_str(), nullptr) || platform::GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    if (platform::GetLastError() != ERROR_FILENAME_EXCED_RANGE) return false;
    std::string shortName = path.substr(0, 3) + "vkmachine.new";
    if (!platform::CreateDirectoryA(shortName.c_str(), nullptr)) return false;
    if (platform::MoveFileA(shortName.c_str(), path.c_str())) return true;
    DWORD error = platform::GetLastError();
    platform::RemoveDirectoryA(shortName.c_str());
    platform::SetLastError(error);
    return false;
}

}  // namespace

bool MakeFolders(const std::string& path, std::string* error) {
    std::string mapped;
    if (host::ToHostPath(path.substr(0, 3), &mapped) != ERROR_SUCCESS) {
        // A drive the machine does not have yet: its folder is made first.
        std::error_code ec;
        std::string drive =
            host::MachineDir() + "/drive_" + static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
        if (std::filesystem::create_directories(drive, ec)) WriteLog::Note(true, drive, true);
    }
    // Every folder on the way, split by character of the code page.
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '\\') {
            if (host::IsLeadByte(static_cast<unsigned char>(path[i]))) ++i;
            continue;
        }
        std::string part = path.substr(0, i);
        if (host::EndsWithBackslash(part)) continue;  // a doubled or trailing backslash
        if (platform::GetFileAttributesA(part.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        if (!MakeFolder(part)) {
            *error = "cannot create folder " + host::Utf8(part) + ": " + host::ErrorText(platform::GetLastError());
            return false;
        }
        WriteLog::Note(true, part);
    }
    DWORD bits = platform::GetFileAttributesA(path.c_str());
    if (bits == INVALID_FILE_ATTRIBUTES || !(bits & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = "folder " + host::Utf8(path) + " was not made: a file of that name is in the way";
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
    bool there = platform::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    HANDLE h = platform::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                     nullptr);
    DWORD written = 0;
    bool ok = h != INVALID_HANDLE_VALUE &&
              platform::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    DWORD failure = platform::GetLastError();
    if (h != INVALID_HANDLE_VALUE) platform::CloseHandle(h);
    if (h != INVALID_HANDLE_VALUE && !there) WriteLog::Note(false, path);
    if (!ok) *error = "cannot write " + host::Utf8(path) + ": " + host::ErrorText(failure);
    return ok;
}

std::string ParentFolder(const std::string& path) {
    size_t cut = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (host::IsLeadByte(static_cast<unsigned char>(path[i])))
            ++i;
        else if (path[i] == '\\')
            cut = i;
    }
    return cut < 3 ? path.substr(0, 3) : path.substr(0, cut);
}

bool Number(const std::string& text, unsigned long long limit, unsigned long long* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtoull(text.c_str(), &end, 0);
    return errno == 0 && *end == '\0' && *value <= limit;
}
