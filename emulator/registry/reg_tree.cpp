// The registry's key tree in memory: names compared as Windows compares them, keys found and
// made, changes applied.
#include "emulator/registry/reg_tree.h"

#include <algorithm>

#include "emulator/machine/host.h"
#include "emulator/registry/regfile.h"

namespace platform::host {
namespace {

bool FoldedLess(const RegKey& key, const std::string& folded) { return key.folded < folded; }

}  // namespace

bool RegSameName(const std::string& a, const std::string& b) {
    size_t i = 0;
    for (; i < a.size() && i < b.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 0x80 || y >= 0x80) return RegFoldName(a) == RegFoldName(b);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y) return false;  // two ASCII characters apart, after the same ones
    }
    // One is a beginning of the other, all ASCII: the rest of the longer one folds to more.
    return a.size() == b.size();
}

const char* RegRootName(int root) {
    return root == kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string RegFoldName(const std::string& name) {
    std::u16string units = FoldName(name);
    std::string folded;
    folded.reserve(units.size() * 2);
    for (char16_t u : units) {
        folded += static_cast<char>(u >> 8);  // high byte first: the order of the units
        folded += static_cast<char>(u & 0xFF);
    }
    return folded;
}

std::vector<RegValue>& RegKey::values() {
    if (!unread.lines.empty()) {
        Unread lines = unread;
        unread = Unread();
        ReadRegValueLines(lines.lines, lines.firstLine, &values_);
    }
    return values_;
}

const std::vector<RegValue>& RegKey::values() const { return const_cast<RegKey*>(this)->values(); }

RegValue* RegKey::FindValue(const std::string& valueName) {
    for (RegValue& v : values())
        if (RegSameName(v.name, valueName)) return &v;
    return nullptr;
}

const RegValue* RegKey::FindValue(const std::string& valueName) const {
    return const_cast<RegKey*>(this)->FindValue(valueName);
}

RegKey* RegKey::FindSubkey(const std::string& keyName) {
    std::string folded = RegFoldName(keyName);
    auto it = std::lower_bound(subkeys.begin(), subkeys.end(), folded, FoldedLess);
    return it != subkeys.end() && it->folded == folded ? &*it : nullptr;
}

const RegKey* RegKey::FindSubkey(const std::string& keyName) const {
    return const_cast<RegKey*>(this)->FindSubkey(keyName);
}

RegKey* RegKey::AddSubkey(const std::string& keyName, bool* created) {
    std::string folded = RegFoldName(keyName);
    // Keys read from a file come in order: the place of a new one is most often the end.
    auto it = !subkeys.empty() && subkeys.back().folded < folded
                  ? subkeys.end()
                  : std::lower_bound(subkeys.begin(), subkeys.end(), folded, FoldedLess);
    *created = it == subkeys.end() || it->folded != folded;
    if (*created) {
        RegKey key;
        key.name = keyName;
        key.folded = std::move(folded);
        it = subkeys.insert(it, std::move(key));
    }
    return &*it;
}

DWORD RegSplitPath(const char* path, std::vector<std::string>* names) {
    names->clear();
    if (path == nullptr) return ERROR_SUCCESS;
    if (path[0] == '\\') return ERROR_BAD_PATHNAME;
    std::string name;
    for (const char* p = path;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (!name.empty()) names->push_back(name);
            name.clear();
            if (*p == '\0') return ERROR_SUCCESS;
        } else if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') {
            name += *p++;
            name += *p;
        } else {
            name += *p;
        }
    }
}

const RegKey* RegFindKey(const RegTree& tree, int root, const std::vector<std::string>& names) {
    const RegKey* key = &tree.roots[root];
    for (size_t i = 0; key != nullptr && i < names.size(); ++i) key = key->FindSubkey(names[i]);
    return key;
}

RegKey* RegFindKey(RegTree* tree, int root, const std::vector<std::string>& names) {
    return const_cast<RegKey*>(RegFindKey(*tree, root, names));
}

void ApplyRegChange(RegTree* tree, const RegChange& change) {
    RegKey* key = &tree->roots[change.root];
    if (change.kind == RegChange::kCreateKey || change.kind == RegChange::kSetValue) {
        bool created = false;
        for (const std::string& name : change.path) key = key->AddSubkey(name, &created);
        if (change.kind == RegChange::kCreateKey) return;
        RegValue* value = key->FindValue(change.value.name);
        if (value == nullptr) {
            key->values().push_back(change.value);
        } else {
            value->type = change.value.type;
            value->data = change.value.data;
        }
        return;
    }
    if (change.kind == RegChange::kDeleteKey && change.path.empty()) return;  // a root stays
    size_t depth = change.kind == RegChange::kDeleteKey ? change.path.size() - 1 : change.path.size();
    for (size_t i = 0; key != nullptr && i < depth; ++i) key = key->FindSubkey(change.path[i]);
    if (key == nullptr) return;
    if (change.kind == RegChange::kDeleteKey) {
        RegKey* gone = key->FindSubkey(change.path.back());
        if (gone != nullptr) key->subkeys.erase(key->subkeys.begin() + (gone - key->subkeys.data()));
        return;
    }
    RegValue* value = key->FindValue(change.value.name);
    if (value != nullptr) key->values().erase(key->values().begin() + (value - key->values().data()));
}

}  // namespace platform::host
