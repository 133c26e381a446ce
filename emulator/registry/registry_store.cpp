// The emulated registry in memory, loaded from <machine>/registry.reg and its journal, and saved
// by appending each change to the journal.
//
// registry.reg names its journal by a stamp made when the file was written; the journal starts
// with the same stamp, so a journal left from an older registry.reg (a process killed between
// writing the new file and removing the old journal) is known and ignored. A save appends one
// record and syncs it, which costs what the change costs, whatever the registry's size; once
// the journal is as large as registry.reg, the registry is written whole under a new stamp and
// the journal removed. A file without a stamp (written by hand or by an older build) is written
// whole, stamped, at its first save. Every process that loads or saves holds the machine's
// lock meanwhile; another process's records are read from where this one stopped.
#include "emulator/registry/registry_store.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "emulator/machine/host.h"
#include "emulator/machine/machine_state.h"
#include "emulator/registry/reg_journal.h"
#include "emulator/registry/regfile.h"

namespace platform::host {
namespace {

// A journal is folded into registry.reg once it is larger than both this and registry.reg.
const off_t kFoldAtLeast = 256 * 1024;

RegTree EmptyTree() {
    RegTree tree;
    for (int root = 0; root < kRootCount; ++root) tree.roots[root].name = RegRootName(root);
    return tree;
}

// What identifies one version of a file: registry.reg is replaced by a rename at every
// writing, the journal only grows (or is replaced).
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
    bool operator!=(const FileId& o) const { return !(*this == o); }
    bool SameFile(const FileId& o) const { return exists && o.exists && dev == o.dev && ino == o.ino; }
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

FileId IdOfPath(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? IdOf(st) : FileId();
}

struct Store {
    RegTree tree = EmptyTree();
    bool loaded = false;  // only a registry that was read whole may be written back
    unsigned generation = 1;
    std::string file;
    std::string journal;
    FileId id;          // the version of registry.reg `tree` was read from
    std::string stamp;  // the journal it names; "" for none
    FileId journalId;   // the journal as last read (exists = false: none)
    bool journalOurs = false;  // it goes with registry.reg: its records are in `tree`
    off_t journalEnd = 0;      // end of its last whole record
    int journalLines = 0;      // lines before journalEnd
};

Store& Current() {
    static Store store;
    return store;
}

// Reads a file from offset `from` to its end; a missing file reads as empty, `id` saying so.
bool ReadFile(const std::string& path, off_t from, std::string* text, FileId* id, std::string* error) {
    text->clear();
    *id = FileId();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        *error = path + ": cannot be read: " + std::strerror(errno);
        return false;
    }
    struct stat st;
    int err = fstat(fd, &st) == 0 ? 0 : errno;
    // Read straight into the text, which grows should the file have grown.
    size_t have = 0;
    if (err == 0) text->resize(static_cast<size_t>(std::max<off_t>(st.st_size - from, 0)) + 1);
    while (err == 0) {
        if (have == text->size()) text->resize(text->size() * 2);
        ssize_t n = pread(fd, &(*text)[have], text->size() - have, from + static_cast<off_t>(have));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) err = errno;
        if (n <= 0) break;
        have += static_cast<size_t>(n);
    }
    text->resize(have);
    // Stated after the reading: a file that grew meanwhile is read again at the next look.
    if (err == 0 && fstat(fd, &st) != 0) err = errno;
    close(fd);
    if (err != 0) {
        *error = path + ": cannot be read: " + std::strerror(err);
        return false;
    }
    *id = IdOf(st);
    return true;
}

// Applies journal text to `store`: the whole journal (`text` from its start) when none of it was
// applied yet, else what follows its last record applied (`text` from there). A journal of
// another registry.reg is only noted. False, `store` unchanged, for a record that does not read.
bool ApplyJournal(Store* store, const std::string& text, const FileId& id, std::string* error) {
    bool whole = !store->journalOurs;
    RegJournalRead read;
    if (!ParseRegJournal(text, whole, whole ? 1 : store->journalLines + 1, store->journal, &read, error))
        return false;
    store->journalId = id;
    if (whole && (store->stamp.empty() || read.stamp != store->stamp)) return true;
    for (const std::vector<RegChange>& record : read.records)
        for (const RegChange& change : record) ApplyRegChange(&store->tree, change);
    store->journalOurs = true;
    store->journalEnd = (whole ? 0 : store->journalEnd) + static_cast<off_t>(read.end);
    store->journalLines = read.lines;
    return true;
}

// Reads registry.reg and its journal whole into `store` (its tree and what identifies the
// files); false, `store` unchanged, when either does not read.
bool ReadAll(Store* store, std::string* error) {
    Store next;
    next.file = store->file;
    next.journal = store->journal;
    std::string text;
    if (!ReadFile(next.file, 0, &text, &next.id, error)) return false;
    if (next.id.exists && !ParseRegFile(std::move(text), next.file, &next.tree, error, &next.stamp)) return false;
    if (!next.stamp.empty()) {
        FileId id;
        if (!ReadFile(next.journal, 0, &text, &id, error)) return false;
        if (id.exists && !ApplyJournal(&next, text, id, error)) return false;
    }
    store->tree = std::move(next.tree);
    store->id = next.id;
    store->stamp = next.stamp;
    store->journalId = next.journalId;
    store->journalOurs = next.journalOurs;
    store->journalEnd = next.journalEnd;
    store->journalLines = next.journalLines;
    return true;
}

// True when neither file changed since it was read (a journal with a cut-off record at its
// end is looked at again: the record may since have been replaced).
bool UpToDate(const Store& store) {
    if (IdOfPath(store.file) != store.id) return false;
    if (store.stamp.empty()) return true;
    FileId journal = IdOfPath(store.journal);
    return journal == store.journalId && (!store.journalOurs || journal.size == store.journalEnd);
}

// Reads what another process saved since: the records it added to the journal, or everything
// when it wrote registry.reg. False (the registry kept as it was) when that cannot be read.
bool Refresh(std::string* error) {
    Store& store = Current();
    if (!store.loaded || UpToDate(store)) return true;
    MachineLock lock;
    if (UpToDate(store)) return true;
    FileId journal = IdOfPath(store.journal);
    bool added = IdOfPath(store.file) == store.id && !store.stamp.empty() && journal.exists &&
                 (!store.journalOurs || (journal.SameFile(store.journalId) && journal.size >= store.journalEnd));
    if (!added) return ReadAll(&store, error);
    std::string text;
    FileId id;
    if (!ReadFile(store.journal, store.journalOurs ? store.journalEnd : 0, &text, &id, error)) return false;
    return ApplyJournal(&store, text, id, error);
}

// A new stamp: 16 hex digits, random.
std::string NewStamp() {
    unsigned long long bits = 0;
    if (getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits))
        bits = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (static_cast<unsigned long long>(getpid()) << 32);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", bits);
    return text;
}

// Writes `tree` whole as registry.reg under a new stamp and drops the journal, whose records
// it holds. ERROR_SUCCESS or the Windows error of the failure (the files as they were).
DWORD WriteWhole(Store* store, const RegTree& tree) {
    std::string stamp = NewStamp(), text, why;
    if (!FormatRegFile(tree, &text, &why, stamp)) return ERROR_CANTWRITE;
    DWORD error = ReplaceFileDurably(store->file, text);
    if (error != ERROR_SUCCESS) return error;
    // Left behind (a kill here), its stamp is not the file's: it is ignored and replaced.
    unlink(store->journal.c_str());
    store->id = IdOfPath(store->file);
    store->stamp = stamp;
    store->journalId = IdOfPath(store->journal);
    store->journalOurs = false;
    store->journalEnd = 0;
    store->journalLines = 0;
    return ERROR_SUCCESS;
}

// Appends one record to the journal and syncs it; a journal of another stamp, or none, is
// replaced by a new one holding the record. The files as they were on failure.
DWORD AppendRecord(Store* store, const std::string& record) {
    if (!store->journalOurs) {
        std::string text = RegJournalHeader(store->stamp) + record;
        DWORD error = ReplaceFileDurably(store->journal, text);
        if (error != ERROR_SUCCESS) return error;
        store->journalId = IdOfPath(store->journal);
        store->journalOurs = true;
        store->journalEnd = static_cast<off_t>(text.size());
        store->journalLines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
        return ERROR_SUCCESS;
    }
    int fd = open(store->journal.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno);
    // What lies past the last whole record was cut off: the record goes in its place.
    struct stat st;
    int failure = fstat(fd, &st) == 0 ? 0 : errno;
    if (failure == 0 && st.st_size != store->journalEnd && ftruncate(fd, store->journalEnd) != 0) failure = errno;
    if (failure == 0 && lseek(fd, store->journalEnd, SEEK_SET) < 0) failure = errno;
    if (failure == 0) failure = WriteAll(fd, record.data(), record.size());
    if (failure == 0 && fdatasync(fd) != 0) failure = errno;
    if (failure == 0 && fstat(fd, &st) != 0) failure = errno;
    if (failure != 0) {
        if (ftruncate(fd, store->journalEnd) == 0) fdatasync(fd);
        close(fd);
        return ErrorFromErrno(failure);
    }
    close(fd);
    store->journalEnd += static_cast<off_t>(record.size());
    store->journalLines += static_cast<int>(std::count(record.begin(), record.end(), '\n'));
    store->journalId = IdOf(st);
    return ERROR_SUCCESS;
}

}  // namespace

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
    return ChangeRegistry([&](const RegTree& tree, std::vector<RegChange>* changes) -> DWORD {
        const RegKey* key = RegFindKey(tree, root, names);
        if (key == nullptr || key->FindValue(name) == nullptr) return ERROR_FILE_NOT_FOUND;
        RegChange change;
        change.kind = RegChange::kDeleteValue;
        change.root = root;
        change.path = names;
        change.value.name = name;
        changes->push_back(change);
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
    Store next;
    next.file = file;
    size_t slash = file.rfind('/');
    next.journal = (slash == std::string::npos ? std::string() : file.substr(0, slash + 1)) + "registry.journal";
    if (!ReadAll(&next, error)) return false;
    Store& store = Current();
    unsigned generation = store.generation;
    store = std::move(next);
    store.loaded = true;
    store.generation = generation + 1;
    return true;
}

void UnloadRegistry() {
    Store& store = Current();
    unsigned generation = store.generation;
    store = Store();
    store.generation = generation + 1;
}

DWORD ChangeRegistry(const std::function<DWORD(const RegTree& tree, std::vector<RegChange>* changes)>& plan) {
    Store& store = Current();
    if (!store.loaded || !MachineIsOpen()) return ERROR_INVALID_HANDLE;
    // Read, changed and saved under the machine's lock: no other process saves in between,
    // so no change of another process is lost.
    MachineLock lock;
    std::string why;
    if (!Refresh(&why)) return ERROR_BADDB;  // never saved over a file that cannot be read
    std::vector<RegChange> changes;
    DWORD result = plan(store.tree, &changes);
    if (result != ERROR_SUCCESS || changes.empty()) return result;
    std::string record;
    if (!FormatRegJournalRecord(changes, &record, &why)) return ERROR_CANTWRITE;
    if (store.stamp.empty()) {
        RegTree next = store.tree;
        for (const RegChange& change : changes) ApplyRegChange(&next, change);
        if (WriteWhole(&store, next) != ERROR_SUCCESS) return ERROR_CANTWRITE;
        store.tree = std::move(next);
        return ERROR_SUCCESS;
    }
    if (AppendRecord(&store, record) != ERROR_SUCCESS) return ERROR_CANTWRITE;
    for (const RegChange& change : changes) ApplyRegChange(&store.tree, change);
    // The change is saved; folding is the journal's own business, and may fail without harm.
    if (store.journalEnd > std::max(kFoldAtLeast, store.id.size)) WriteWhole(&store, store.tree);
    return ERROR_SUCCESS;
}

}  // namespace platform::host
