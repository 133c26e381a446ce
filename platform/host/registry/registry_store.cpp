// The emulated registry in memory, loaded from and saved to <machine>/registry.reg.
#include "platform/host/registry/registry_store.h"

#include <fcntl.h>
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

struct Store {
    RegTree tree = EmptyTree();
    bool loaded = false;  // only a registry that was read whole may be written back
    unsigned generation = 1;
};

Store& Current() {
    static Store store;
    return store;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Replaces `path` with `bytes` so that a crash leaves either the old or the new file whole.
bool SaveAtomically(const std::string& dir, const std::string& path, const std::string& bytes) {
    std::string fresh = path + ".new";
    int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(fresh.c_str(), path.c_str()) != 0) {
        unlink(fresh.c_str());
        return false;
    }
    // Make the rename itself durable.
    int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

// Reads a whole file; `err` is the errno of a failure (ENOENT for a missing file).
bool ReadWholeFile(const std::string& path, std::string* bytes, int* err) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *err = errno;
        return false;
    }
    bytes->clear();
    char buffer[65536];
    *err = 0;
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) *err = errno;
        if (n <= 0) break;
        bytes->append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return *err == 0;
}

bool FoldedLess(const RegKey& key, const std::string& folded) { return RegFoldName(key.name) < folded; }

}  // namespace

const char* RegRootName(int root) {
    return root == kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string RegFoldName(const std::string& name) {
    std::string folded = name;
    for (size_t i = 0; i < folded.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(folded[i]);
        if (IsLeadByte(c)) {
            ++i;  // the trail byte may look like a letter: leave it
        } else if (c >= 'a' && c <= 'z') {
            folded[i] = static_cast<char>(c - 'a' + 'A');
        }
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

const RegTree& Registry() { return Current().tree; }

unsigned RegistryGeneration() { return Current().generation; }

bool LoadRegistry(const std::string& file, std::string* error) {
    std::string text;
    int err = 0;
    RegTree tree = EmptyTree();
    if (!ReadWholeFile(file, &text, &err)) {
        if (err != ENOENT) {
            *error = file + ": cannot be read: " + std::strerror(err);
            return false;
        }
    } else if (!ParseRegFile(text, file, &tree, error)) {
        return false;
    }
    Store& store = Current();
    store.tree = std::move(tree);
    store.loaded = true;
    ++store.generation;
    return true;
}

void UnloadRegistry() {
    Store& store = Current();
    store.tree = EmptyTree();
    store.loaded = false;
    ++store.generation;
}

DWORD ChangeRegistry(const std::function<DWORD(RegTree* tree, bool* changed)>& change) {
    Store& store = Current();
    if (!store.loaded || !MachineIsOpen()) return ERROR_INVALID_HANDLE;
    RegTree next = store.tree;
    bool changed = false;
    DWORD result = change(&next, &changed);
    if (result != ERROR_SUCCESS || !changed) return result;
    std::string text, why;
    if (!FormatRegFile(next, &text, &why)) return ERROR_CANTWRITE;
    if (!SaveAtomically(MachineDir(), MachineDir() + "/registry.reg", text)) return ERROR_CANTWRITE;
    store.tree = std::move(next);
    return ERROR_SUCCESS;
}

}  // namespace platform::host
