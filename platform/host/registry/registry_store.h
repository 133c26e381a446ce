// The emulated registry (host modules only): one tree of keys and values per root, kept in
// memory and saved whole to <machine>/registry.reg after every change.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform_types.h"

namespace platform::host {

struct RegValue {
    std::string name;  // machine code page; "" is the key's default value
    DWORD type = REG_NONE;
    std::string data;  // exactly the bytes stored, any length
};

struct RegKey {
    std::string name;              // machine code page, spelled as first created
    std::vector<RegValue> values;  // in the order first set
    std::vector<RegKey> subkeys;   // ordered by folded name

    RegValue* FindValue(const std::string& valueName);
    const RegValue* FindValue(const std::string& valueName) const;
    RegKey* FindSubkey(const std::string& keyName);
    const RegKey* FindSubkey(const std::string& keyName) const;
    // Finds the subkey or adds it in its place; `created` says which.
    RegKey* AddSubkey(const std::string& keyName, bool* created);
};

enum RegRoot { kLocalMachine = 0, kCurrentUser = 1, kRootCount = 2 };

struct RegTree {
    RegKey roots[kRootCount];
};

// "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER".
const char* RegRootName(int root);

// A key or value name folded for comparison as Windows compares them (FoldName), as bytes
// that order as the folded UTF-16 units do.
std::string RegFoldName(const std::string& name);

// Splits a key path at its backslashes (not at the trail byte of a double-byte character);
// doubled and trailing backslashes are ignored, a leading one gives ERROR_BAD_PATHNAME.
DWORD RegSplitPath(const char* path, std::vector<std::string>* names);
// The key at `names` below a root, or nullptr.
const RegKey* RegFindKey(const RegTree& tree, int root, const std::vector<std::string>& names);
RegKey* RegFindKey(RegTree* tree, int root, const std::vector<std::string>& names);

// The system's own access, which `admin = 0` does not limit (vkmachine reboot reads and clears
// PendingFileRenameOperations): a value's type and bytes, and its removal (saved at once).
// ERROR_FILE_NOT_FOUND for a missing key or value.
DWORD RegReadSystemValue(int root, const std::string& keyPath, const std::string& name, DWORD* type,
                         std::string* data);
DWORD RegDeleteSystemValue(int root, const std::string& keyPath, const std::string& name);

// The loaded registry; empty when no machine is open.
const RegTree& Registry();
// Changes whenever a registry is loaded or unloaded, so that old key handles go stale.
unsigned RegistryGeneration();

// Applies `change` to a copy of the registry. When it returns ERROR_SUCCESS and set `changed`,
// the copy is saved to registry.reg and replaces the registry only once saved; a failed save
// gives ERROR_CANTWRITE and leaves both the registry and the file as they were.
DWORD ChangeRegistry(const std::function<DWORD(RegTree* tree, bool* changed)>& change);

}  // namespace platform::host
