#include "payload/pending_renames.h"

#include <cstdlib>
#include <cstring>

#include "platform/registry.h"
#include "platform/system.h"

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingOperations[] = "PendingFileRenameOperations";

namespace {

// The name without the "\??\" that marks a Win32 path in the NT namespace.
const char* Plain(const char* name) {
    const char prefix[] = "\\??\\";
    for (int i = 0; prefix[i] != '\0'; ++i)
        if (name[i] != prefix[i]) return name;  // a NUL differs too: nothing is read past it
    return name + sizeof prefix - 1;
}

int SamePath(const char* a, const char* b) { return a != nullptr && b != nullptr && platform::lstrcmpiA(a, b) == 0; }

}  // namespace

int ReadPendingRenames(PendingRenames* list) {
    list->names = nullptr;
    list->size = 0;
    HKEY key = nullptr;
    if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 1;
    DWORD type = REG_MULTI_SZ;
    DWORD size = 0;
    LONG result = platform::RegQueryValueExA(key, kPendingOperations, nullptr, &type, nullptr, &size);
    // Only a list of names is performed at the restart; another type is left alone by it.
    if (result != ERROR_SUCCESS || type != REG_MULTI_SZ || size == 0) {
        platform::RegCloseKey(key);
        return 1;
    }
    // Two NULs beyond the stored bytes end the last name and the list whatever was stored.
    list->names = static_cast<char*>(std::calloc(static_cast<size_t>(size) + 2, 1));
    if (list->names != nullptr)
        result = platform::RegQueryValueExA(key, kPendingOperations, nullptr, &type,
                                            reinterpret_cast<BYTE*>(list->names), &size);
    platform::RegCloseKey(key);
    if (list->names == nullptr || result != ERROR_SUCCESS) {
        FreePendingRenames(list);
        return 0;
    }
    list->size = size;
    return 1;
}

void FreePendingRenames(PendingRenames* list) {
    std::free(list->names);
    list->names = nullptr;
    list->size = 0;
}

int PendingRenameTouches(const PendingRenames& list, const char* path, const char* ownSource, const char* ownTarget) {
    const char* end = list.names + list.size;
    for (const char* source = list.names; source != nullptr && source < end && *source != '\0';) {
        const char* target = source + std::strlen(source) + 1;
        if (target >= end) break;  // a source without its target is not performed
        int replaces = *target == '!';
        const char* from = Plain(source);
        const char* to = Plain(target + replaces);
        int own = replaces && SamePath(from, ownSource) && SamePath(to, ownTarget);
        if (!own && (SamePath(from, path) || (*to != '\0' && SamePath(to, path)))) return 1;
        source = target + std::strlen(target) + 1;
    }
    return 0;
}
