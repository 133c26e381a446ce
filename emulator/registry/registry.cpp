// Registry calls on the emulated machine. A key handle is a number naming the key's path and
// the rights it was opened with; names are compared as Windows compares them. With
// `admin = 0` in machine.ini, HKEY_LOCAL_MACHINE can only be read, as for a limited user.
#include "platform/registry.h"

#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "emulator/machine/host.h"
#include "emulator/registry/regfile.h"
#include "emulator/registry/registry_store.h"

namespace platform {
namespace {

using host::RegChange;
using host::RegKey;
using host::RegTree;
using host::RegValue;

// DELETE, WRITE_DAC, WRITE_OWNER and the key rights that change something.
const REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x00010000 | 0x00040000 | 0x00080000;

struct OpenKey {
    int root = host::kCurrentUser;
    std::vector<std::string> path;  // key names below the root
    REGSAM access = 0;
    unsigned generation = 0;
};

std::map<uintptr_t, OpenKey>& Handles() {
    static std::map<uintptr_t, OpenKey> handles;
    return handles;
}

HKEY NewHandle(const OpenKey& key) {
    static uintptr_t next = 0x1000;
    next += 4;  // never reused, so a closed handle stays invalid
    Handles()[next] = key;
    return reinterpret_cast<HKEY>(next);
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Windows allows 255 characters (UTF-16 units) in a key name.
bool KeyNameTooLong(const std::string& name) {
    std::u16string units;
    return host::AnsiToUtf16(name, &units) ? units.size() > 255 : name.size() > 255;
}

bool ReadOnly(int root) { return root == host::kLocalMachine && !host::Config().admin; }

// The rights a handle gets for `wanted`, or ERROR_ACCESS_DENIED.
LONG Grant(int root, REGSAM wanted, REGSAM* granted) {
    REGSAM rights = wanted & ~(MAXIMUM_ALLOWED | KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    if (rights & (GENERIC_READ | GENERIC_EXECUTE)) rights |= KEY_READ;
    if (rights & GENERIC_WRITE) rights |= KEY_WRITE;
    if (rights & GENERIC_ALL) rights |= KEY_ALL_ACCESS;
    rights &= ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    bool readOnly = ReadOnly(root);
    if (readOnly && (rights & kWriteRights)) return ERROR_ACCESS_DENIED;
    if (wanted & MAXIMUM_ALLOWED) rights |= readOnly ? KEY_READ : KEY_ALL_ACCESS;
    *granted = rights;
    return ERROR_SUCCESS;
}

bool IsPredefined(HKEY key) {
    uintptr_t v = reinterpret_cast<uintptr_t>(key);
    return v >= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) &&
           v <= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) + 6;
}

// The key a handle stands for; HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are always open.
LONG Resolve(HKEY key, OpenKey* out) {
    if (!host::MachineIsOpen()) return ERROR_INVALID_HANDLE;
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) {
        out->root = key == HKEY_LOCAL_MACHINE ? host::kLocalMachine : host::kCurrentUser;
        out->path.clear();
        out->access = ReadOnly(out->root) ? KEY_READ : KEY_ALL_ACCESS;
        out->generation = host::RegistryGeneration();
        return ERROR_SUCCESS;
    }
    auto it = Handles().find(reinterpret_cast<uintptr_t>(key));
    if (it == Handles().end()) return ERROR_INVALID_HANDLE;
    if (it->second.generation != host::RegistryGeneration()) {  // from a registry since unloaded
        Handles().erase(it);
        return ERROR_INVALID_HANDLE;
    }
    *out = it->second;
    return ERROR_SUCCESS;
}

// A change of the key `key` stands for.
RegChange Change(RegChange::Kind kind, const OpenKey& key, const RegValue& value = RegValue()) {
    RegChange change;
    change.kind = kind;
    change.root = key.root;
    change.path = key.path;
    change.value = value;
    return change;
}

template <typename Call>
LONG Guarded(Call call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_CANTWRITE;
    }
}

LONG OpenKeyEx(HKEY key, LPCSTR subKey, REGSAM access, PHKEY result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenKey parent;
    LONG status = Resolve(key, &parent);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::string> names;
    if ((status = host::RegSplitPath(subKey, &names)) != ERROR_SUCCESS) return status;
    OpenKey opened = parent;
    opened.path.insert(opened.path.end(), names.begin(), names.end());
    if (host::RegFindKey(host::Registry(), opened.root, opened.path) == nullptr) return ERROR_FILE_NOT_FOUND;
    if ((status = Grant(opened.root, access, &opened.access)) != ERROR_SUCCESS) return status;
    *result = NewHandle(opened);
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    DWORD error = 0;
    if (host::Injected(host::Call::RegOpenKeyA, &error)) return static_cast<LONG>(error);
    return Guarded([&]() -> LONG {
        if (result == nullptr) return ERROR_INVALID_PARAMETER;
        if (subKey == nullptr || *subKey == '\0') {  // the same handle, as Windows gives it
            *result = key;
            return ERROR_SUCCESS;
        }
        return OpenKeyEx(key, subKey, MAXIMUM_ALLOWED, result);
    });
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    DWORD error = 0;
    if (host::Injected(host::Call::RegOpenKeyExA, &error)) return static_cast<LONG>(error);
    return Guarded([&]() -> LONG {
        if (result != nullptr && (subKey == nullptr || *subKey == '\0') && IsPredefined(key)) {
            *result = key;
            return ERROR_SUCCESS;
        }
        return OpenKeyEx(key, subKey, access, result);
    });
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR, DWORD, REGSAM access,
                     LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    DWORD error = 0;
    if (host::Injected(host::Call::RegCreateKeyExA, &error)) return static_cast<LONG>(error);
    return Guarded([&]() -> LONG {
        if (result == nullptr) return ERROR_BADKEY;
        if (reserved != 0) return ERROR_INVALID_PARAMETER;
        *result = nullptr;
        OpenKey parent;
        LONG status = Resolve(key, &parent);
        if (status != ERROR_SUCCESS) return status;
        std::vector<std::string> names;
        if ((status = host::RegSplitPath(subKey, &names)) != ERROR_SUCCESS) return status;
        for (const std::string& name : names) {
            if (!host::RegNameStorable(name)) return ERROR_INVALID_PARAMETER;
            if (KeyNameTooLong(name)) return ERROR_MORE_DATA;  // as Wine answers a name past 255
        }
        OpenKey opened = parent;
        opened.path.insert(opened.path.end(), names.begin(), names.end());
        if ((status = Grant(opened.root, access, &opened.access)) != ERROR_SUCCESS) return status;
        bool exists = host::RegFindKey(host::Registry(), opened.root, opened.path) != nullptr;
        if (!exists) {
            if (ReadOnly(opened.root)) return ERROR_ACCESS_DENIED;
            status = host::ChangeRegistry([&](const RegTree& tree, std::vector<RegChange>* changes) -> LONG {
                if (host::RegFindKey(tree, opened.root, opened.path) != nullptr) return ERROR_SUCCESS;
                changes->push_back(Change(RegChange::kCreateKey, opened));
                return ERROR_SUCCESS;
            });
            if (status != ERROR_SUCCESS) return status;
        }
        if (disposition != nullptr) *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
        *result = NewHandle(opened);
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    DWORD error = 0;
    if (host::Injected(host::Call::RegQueryValueExA, &error)) return static_cast<LONG>(error);
    return Guarded([&]() -> LONG {
        if ((data != nullptr && size == nullptr) || reserved != nullptr) return ERROR_INVALID_PARAMETER;
        OpenKey opened;
        LONG status = Resolve(key, &opened);
        if (status != ERROR_SUCCESS) return status;
        DWORD room = size != nullptr ? *size : 0;
        if (data == nullptr && size != nullptr) *size = 0;
        if (type != nullptr) *type = REG_NONE;
        if (!(opened.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        const RegKey* at = host::RegFindKey(host::Registry(), opened.root, opened.path);
        if (at == nullptr) return ERROR_KEY_DELETED;
        const RegValue* value = at->FindValue(valueName != nullptr ? valueName : "");
        if (value == nullptr) return ERROR_FILE_NOT_FOUND;
        DWORD length = static_cast<DWORD>(value->data.size());
        status = ERROR_SUCCESS;
        if (data != nullptr && length > 0) {
            if (length > room) {
                status = ERROR_MORE_DATA;  // the buffer is left as it was
            } else {
                std::memcpy(data, value->data.data(), length);
                // As Windows: a string stored without its NUL gets one when there is room.
                bool isString =
                    value->type == REG_SZ || value->type == REG_EXPAND_SZ || value->type == REG_MULTI_SZ;
                if (isString && length < room && data[length - 1] != 0) data[length] = 0;
            }
        }
        if (type != nullptr) *type = value->type;
        if (size != nullptr) *size = length;
        return status;
    });
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    DWORD error = 0;
    if (host::Injected(host::Call::RegSetValueExA, &error)) return static_cast<LONG>(error);
    return Guarded([&]() -> LONG {
        if (data == nullptr && size > 0) return ERROR_NOACCESS;
        OpenKey opened;
        LONG status = Resolve(key, &opened);
        if (status != ERROR_SUCCESS) return status;
        if (!(opened.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        std::string name = valueName != nullptr ? valueName : "";
        if (!host::RegNameStorable(name)) return ERROR_INVALID_PARAMETER;
        if (IsStringType(type) && data != nullptr) {
            const char* text = reinterpret_cast<const char*>(data);
            if (host::Config().platformId != VER_PLATFORM_WIN32_NT) {
                // The 95/98/Me family stores a REG_SZ as its text and one NUL, whatever the length.
                if (type == REG_SZ) size = static_cast<DWORD>(std::strlen(text) + 1);
            } else if (size > 0 && text[size - 1] != '\0' && text[size] == '\0') {
                // The NT family counts a NUL that the length left out when one follows the text.
                ++size;
            }
        }
        std::string bytes(reinterpret_cast<const char*>(data), data != nullptr ? size : 0);
        return host::ChangeRegistry([&](const RegTree& tree, std::vector<RegChange>* changes) -> LONG {
            const RegKey* at = host::RegFindKey(tree, opened.root, opened.path);
            if (at == nullptr) return ERROR_KEY_DELETED;
            const RegValue* value = at->FindValue(name);
            if (value != nullptr && value->type == type && value->data == bytes) return ERROR_SUCCESS;
            // A value set again keeps the spelling its name was first set with.
            changes->push_back(Change(RegChange::kSetValue, opened, RegValue{name, type, bytes}));
            return ERROR_SUCCESS;
        });
    });
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
    DWORD error = 0;
    if (host::Injected(host::Call::RegDeleteValueA, &error)) return static_cast<LONG>(error);
    return Guarded([&]() -> LONG {
        OpenKey opened;
        LONG status = Resolve(key, &opened);
        if (status != ERROR_SUCCESS) return status;
        if (!(opened.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        std::string name = valueName != nullptr ? valueName : "";
        return host::ChangeRegistry([&](const RegTree& tree, std::vector<RegChange>* changes) -> LONG {
            const RegKey* at = host::RegFindKey(tree, opened.root, opened.path);
            if (at == nullptr) return ERROR_KEY_DELETED;
            if (at->FindValue(name) == nullptr) return ERROR_FILE_NOT_FOUND;
            changes->push_back(Change(RegChange::kDeleteValue, opened, RegValue{name, REG_NONE, ""}));
            return ERROR_SUCCESS;
        });
    });
}

LONG RegCloseKey(HKEY key) {
    DWORD error = 0;
    if (host::Injected(host::Call::RegCloseKey, &error)) return static_cast<LONG>(error);
    if (IsPredefined(key)) return ERROR_SUCCESS;
    auto it = Handles().find(reinterpret_cast<uintptr_t>(key));
    if (it == Handles().end()) return ERROR_INVALID_HANDLE;
    bool stale = it->second.generation != host::RegistryGeneration();
    Handles().erase(it);
    return stale ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
}

}  // namespace platform
