// The emulated registry in memory, loaded from and saved to <machine>/registry.reg.
#include "platform/host/registry/registry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/host/machine/host.h"
#include "platform/host/machine/machine_state.h"
#include "platform/host/registry/regfile.h"

namespace platform::host {
namespace {

RegTree EmptyTree() {
    RegTree tree;
    for (int root = 0; root < kRootCount; ++root) tree.roots[root].name = RegRootName(root);
    return tree;
}

// What identifies one version of registry.reg: every save renames a new file over it.
struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    struct timespec mtime = {0, 0};

    bool operator==(const FileId& o) const {
        return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
               mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

FileId IdOf(const struct stat& st) {
    FileId id;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtime = st.st_mtim;
    return id;
}

struct Store {
    RegTree tree = EmptyTree();
    bool loaded = false;  // only a registry that was read whole may be written back
    unsigned generation = 1;
    std::string file;
    FileId id;  // the version of the file `tree` was read from
};

Store& Current() {
    static Store store;
    return store;
}

// Reads and parses the whole file; a missing file is an empty registry.
bool ReadTree(const std::string& file, RegTree* tree, FileId* id, std::string* error) {
    *tree = EmptyTree();
    *id = FileId();
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        *error = file + ": cannot be read: " + std::strerror(errno);
        return false;
    }
    struct stat st;
    std::string text;
    char buffer[65536];
    int err = fstat(fd, &st) == 0 ? 0 : errno;
    while (err == 0) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) err = errno;
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    if (err != 0) {
        *error = file + ": cannot be read: " + std::strerror(err);
        return false;
    }
    if (!ParseRegFile(text, file, tree, error)) return false;
    *id = IdOf(st);
    return true;
}

// Reads the file again when another process has saved it since; false (the registry kept as
// it was) when that version cannot be read.
bool Refresh(std::string* error) {
    Store& store = Current();
    if (!store.loaded) return true;
    struct stat st;
    FileId now;
    if (stat(store.file.c_str(), &st) == 0) now = IdOf(st);
    if (now == store.id) return true;
    MachineLock lock;
    RegTree tree;
    FileId id;
    if (!ReadTree(store.file, &tree, &id, error)) return false;
    store.tree = std::move(tree);
    store.id = id;
    return true;
}

bool FoldedLess(const RegKey& key, const std::string& folded) { return RegFoldName(key.name) < folded; }

}  // namespace

const char* RegRootName(int root) {
    return root == kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string RegFoldName(const std::string& name) {
    std::u16string units = FoldName(name);
    std::string folded;
    for (char16_t u : units) {
        folded += static_cast<char>(u >> 8);  // high byte first: the order of the units
        folded += static_cast<char>(u & 0xFF);
    }
    return folded;
}

RegValue* RegKey::FindValue(const std::string& valueName) {
    std::string folded = RegFoldName(valueName);
    for (RegValue& v : values)
        if (RegFoldName(v.name) == folded) return &v;
    return nullptr;
}

const RegValue* RegKey::FindValue(const std::string& valueName) const {
    return const_cast<RegKey*>(this)->FindValue(valueName);
}

RegKey* RegKey::FindSubkey(const std::string& keyName) {
    std::string folded = RegFoldName(keyName);
    auto it = std::lower_bound(subkeys.begin(), subkeys.end(), folded, FoldedLess);
    return it != subkeys.end() && RegFoldName(it->name) == folded ? &*it : nullptr;
}

const RegKey* RegKey::FindSubkey(const std::string& keyName) const {
    return const_cast<RegKey*>(this)->FindSubkey(keyName);
}

RegKey* RegKey::AddSubkey(const std::string& keyName, bool* created) {
    std::string folded = RegFoldName(keyName);
    auto it = std::lower_bound(subkeys.begin(), subkeys.end(), folded, FoldedLess);
    *created = it == subkeys.end() || RegFoldName(it->name) != folded;
    if (*created) {
        RegKey key;
        key.name = keyName;
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

DWORD RegReadSystemValue(int root, const std::string& keyPath, const std::string& name, DWORD* type,
                         std::string* data) {
    std::vector<std::string> names;
    DWORD status = RegSplitPath(keyPath.c_str(), &names);
    if (status != ERROR_SUCCESS) return status;
    if (!Current().loaded) return ERROR_INVALID_HANDLE;
    const RegKey* key = RegFindKey(Registry(), root, names);
    const RegValue* value = key != nullptr ? key->FindValue(name) : nullptr;
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    *type = value->type;
    *data = value->data;
    return ERROR_SUCCESS;
}

DWORD RegDeleteSystemValue(int root, const std::string& keyPath, const std::string& name) {
    std::vector<std::string> names;
    DWORD status = RegSplitPath(keyPath.c_str(), &names);
    if (status != ERROR_SUCCESS) return status;
    return ChangeRegistry([&](RegTree* tree, bool* changed) -> DWORD {
        RegKey* key = RegFindKey(tree, root, names);
        RegValue* value = key != nullptr ? key->FindValue(name) : nullptr;
        if (value == nullptr) return ERROR_FILE_NOT_FOUND;
        key->values.erase(key->values.begin() + (value - key->values.data()));
        *changed = true;
        return ERROR_SUCCESS;
    });
}

const RegTree& Registry() {
    std::string ignored;
    Refresh(&ignored);  // a damaged file keeps the registry last read; changes are refused
    return Current().tree;
}

unsigned RegistryGeneration() { return Current().generation; }

bool LoadRegistry(const std::string& file, std::string* error) {
    MachineLock lock;
    RegTree tree;
    FileId id;
    if (!ReadTree(file, &tree, &id, error)) return false;
    Store& store = Current();
    store.tree = std::move(tree);
    store.loaded = true;
    store.file = file;
    store.id = id;
    ++store.generation;
    return true;
}

void UnloadRegistry() {
    Store& store = Current();
    store.tree = EmptyTree();
    store.loaded = false;
    store.file.clear();
    store.id = FileId();
    ++store.generation;
}

DWORD ChangeRegistry(const std::function<DWORD(RegTree* tree, bool* changed)>& change) {
    Store& store = Current();
    if (!store.loaded || !MachineIsOpen()) return ERROR_INVALID_HANDLE;
    // Loaded, changed and saved under the machine's lock: no other process saves in between,
    // so no change of another process is lost.
    MachineLock lock;
    std::string why;
    if (!Refresh(&why)) return ERROR_BADDB;  // never saved over a file that cannot be read
    RegTree next = store.tree;
    bool changed = false;
    DWORD result = change(&next, &changed);
    if (result != ERROR_SUCCESS || !changed) return result;
    std::string text;
    if (!FormatRegFile(next, &text, &why)) return ERROR_CANTWRITE;
    if (ReplaceFileDurably(store.file, text) != ERROR_SUCCESS) return ERROR_CANTWRITE;
    store.tree = std::move(next);
    struct stat st;
    store.id = stat(store.file.c_str(), &st) == 0 ? IdOf(st) : FileId();
    return ERROR_SUCCESS;
}

}  // namespace platform::host
