// The registry's key tree in memory: one tree of keys and values per root, and the changes a
// save records.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform_types.h"

namespace platform::host {

struct RegValue {
    std::string name;  // machine code page; "" is the key's default value
    DWORD type = REG_NONE;
    std::string data;  // exactly the bytes stored, any length
};

struct RegKey {
    std::string name;             // machine code page, spelled as first created
    std::string folded;           // RegFoldName(name), set by AddSubkey
    std::vector<RegKey> subkeys;  // ordered by folded name

    // The values, in the order first set. A key read from a registry file keeps the lines of
    // its values (checked when the file was read) until they are first asked for, so that a
    // registry of a million values makes only the values of the keys used.
    std::vector<RegValue>& values();
    const std::vector<RegValue>& values() const;
    struct Unread {
        std::string_view lines;  // in the text the tree keeps (RegTree::text)
        int firstLine = 0;
    };
    Unread unread;  // set by the file reader

    RegValue* FindValue(const std::string& valueName);
    const RegValue* FindValue(const std::string& valueName) const;
    RegKey* FindSubkey(const std::string& keyName);
    const RegKey* FindSubkey(const std::string& keyName) const;
    // Finds the subkey or adds it in its place; `created` says which.
    RegKey* AddSubkey(const std::string& keyName, bool* created);

private:
    std::vector<RegValue> values_;
};

enum RegRoot { kLocalMachine = 0, kCurrentUser = 1, kRootCount = 2 };

struct RegTree {
    RegKey roots[kRootCount];
    std::shared_ptr<const std::string> text;  // the registry file the keys' unread lines are in
};

// True when Windows does not tell two key or value names apart (RegFoldName, without the
// conversion for plain ASCII).
bool RegSameName(const std::string& a, const std::string& b);

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

// One change of the registry, as a save records it in the journal.
struct RegChange {
    enum Kind { kCreateKey, kSetValue, kDeleteValue, kDeleteKey };
    Kind kind = kCreateKey;
    int root = kLocalMachine;
    std::vector<std::string> path;  // key names below the root (kDeleteKey: at least one)
    RegValue value;                 // kSetValue: the value; kDeleteValue: its name
};
// Applies `change` to `tree` as a .reg file import does: a key is made with the keys above it,
// a value set replaces the one of the same name (keeping that name's spelling), and deleting
// what is not there does nothing.
void ApplyRegChange(RegTree* tree, const RegChange& change);

}  // namespace platform::host
