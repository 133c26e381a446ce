// The entries of a folder of the emulated machine as Windows lists them: their Windows names in
// Windows' order and, when the machine makes them, the 8.3 aliases of the long names.
//
// A folder read once is kept, with an index of its names, so that a lookup costs the same in a
// folder of ten files and of ten thousand. The host reports every change of a kept folder's
// entries (inotify), whoever makes it: this process, another process working on the machine,
// or a hand on the host folder itself. Each report is applied to the kept names before they
// are used: an entry made or renamed into the folder is added, one removed or renamed away is
// dropped. Applied in order, the last report about a name says whether it exists, whatever the
// listing read when the watch began, so the kept names are those of the folder at the moment
// of the lookup. A folder that moves or goes, a lost report (the queue overflowed) or a
// forked child forgets what was kept and reads again. The aliases are made again, all at once
// and in time linear in the folder's size, when they are needed after a change.
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>

#include "emulator/files/file_system.h"
#include "emulator/files/short_names.h"

namespace platform::host {
namespace {

// A name as it can take part in an alias: with a '~'. Aliases always have one, and no other
// character folds to it.
bool MayBeAlias(const std::u16string& folded) { return folded.find(u'~') != std::u16string::npos; }

// One folder as last read and kept up to date.
struct Folder {
    dev_t dev = 0;
    ino_t ino = 0;
    int watch = -1;
    uint64_t serial = 0;        // which kept folder this is: none is made twice
    uint64_t parentSerial = 0;  // the kept folder above that listed it when it was found there
    UINT codepage = 0;  // what the names were read with
    bool shortnames = false;
    std::unordered_map<std::string, std::string> names;            // host entry -> Windows name
    std::unordered_map<std::string, mode_t> types;                 // host entry -> S_IF* type, 0: not known
    std::unordered_multimap<std::u16string, std::string> byName;   // folded Windows name -> host entry
    // In Windows order with aliases, made from `names` when needed; empty while out of date.
    bool ordered = false;
    std::vector<FolderEntry> entries;
    std::unordered_multimap<std::u16string, size_t> byAlias;  // folded alias -> index in `entries`
    std::unordered_map<std::string, size_t> position;         // host entry -> index in `entries`

    void Add(const std::string& host, mode_t type) {
        std::string name;
        Remove(host);
        if (!WindowsEntryName(host, &name)) return;  // holds no file of the machine
        byName.emplace(FoldName(name), host);
        names.emplace(host, std::move(name));
        types[host] = type;
    }

    void Remove(const std::string& host) {
        auto it = names.find(host);
        ordered = false;
        if (it == names.end()) return;
        auto range = byName.equal_range(FoldName(it->second));
        for (auto at = range.first; at != range.second; ++at) {
            if (at->second == host) {
                byName.erase(at);
                break;
            }
        }
        names.erase(it);
        types.erase(host);
    }

    void Order() {
        if (ordered) return;
        entries.clear();
        byAlias.clear();
        position.clear();
        entries.reserve(names.size());
        for (const auto& [host, name] : names) entries.push_back(FolderEntry{host, name, ""});
        std::sort(entries.begin(), entries.end(), EntryBefore);
        if (shortnames) MakeAliases(&entries);
        for (size_t i = 0; i < entries.size(); ++i) {
            position.emplace(entries[i].host, i);
            if (!entries[i].alias.empty()) byAlias.emplace(FoldName(entries[i].alias), i);
        }
        ordered = true;
    }

    // The entries that `name` names without regard to case, by their Windows name or their
    // alias, in the order Windows lists them.
    std::vector<FolderEntry> Named(const std::string& name) {
        std::vector<FolderEntry> found;
        std::u16string folded = FoldName(name);
        auto [first, last] = byName.equal_range(folded);
        for (auto it = first; it != last; ++it) found.push_back(Entry(it->second));
        if (shortnames && MayBeAlias(folded)) {
            Order();
            auto [from, to] = byAlias.equal_range(folded);
            for (auto it = from; it != to; ++it) found.push_back(entries[it->second]);
        }
        std::sort(found.begin(), found.end(), EntryBefore);
        return found;
    }

    // The entry of `host` with its alias.
    FolderEntry Entry(const std::string& host) {
        const std::string& name = names.at(host);
        if (!shortnames || IsShortName(name)) return FolderEntry{host, name, ""};
        Order();
        return entries[position.at(host)];
    }
};

// Reads the host folder open as `fd` (taken by this call) into `folder`.
void ReadFolder(int fd, Folder* folder) {
    DIR* d = fdopendir(fd);
    if (d == nullptr) {
        close(fd);
        return;
    }
    while (struct dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            folder->Add(e->d_name, e->d_type == DT_UNKNOWN ? 0 : DTTOIF(e->d_type));
    }
    closedir(d);
}

const size_t kMostFolders = 256;  // past this many, what is kept is forgotten and read again

class Folders {
public:
    // The folder at host path `dir` as it is now; nullptr when it is no folder. `scratch` holds
    // it when it cannot be kept.
    Folder* Get(const std::string& dir, Folder* scratch) {
        struct stat st;
        if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
        Drain();
        auto it = kept_.find(dir);
        if (it != kept_.end()) {
            Folder& f = *it->second;
            if (f.dev == st.st_dev && f.ino == st.st_ino && f.codepage == Config().codepage &&
                f.shortnames == Config().shortnames)
                return &f;
            Forget(it);
        }
        if (kept_.size() >= kMostFolders) ForgetAll();
        auto folder = std::make_unique<Folder>();
        folder->codepage = Config().codepage;
        folder->shortnames = Config().shortnames;
        // Watched before it is read: every change after the reading began is reported.
        int watch = notices_ >= 0 ? inotify_add_watch(notices_, dir.c_str(), kEvents) : -1;
        int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            Unwatch(watch);
            return nullptr;
        }
        struct stat opened;
        bool same = fstat(fd, &opened) == 0 && opened.st_dev == st.st_dev && opened.st_ino == st.st_ino;
        Folder* target = watch >= 0 && same ? folder.get() : scratch;
        target->dev = st.st_dev;
        target->ino = st.st_ino;
        target->codepage = folder->codepage;
        target->shortnames = folder->shortnames;
        ReadFolder(fd, target);
        if (target == scratch) {
            Unwatch(watch);
            return scratch;
        }
        folder->watch = watch;
        folder->serial = ++serials_;
        watched_.emplace(watch, dir);
        return kept_.emplace(dir, std::move(folder)).first->second.get();
    }

    // The kept folder at host path `dir` when it and every folder above it up to its drive
    // folder are kept, each found in the one above as it is kept now: then no report has said
    // that any of them moved or went, and the folder is the one at that path now without
    // asking the host. Reports are applied first when `drain` says so.
    Folder* Anchored(const std::string& dir, bool drain) {
        if (drain) Drain();
        Folder* folder = Kept(dir);
        if (folder == nullptr) return nullptr;
        std::string path = dir;
        for (Folder* below = folder;;) {
            std::string parent, name;
            if (!Split(path, &parent, &name)) return nullptr;
            if (parent == MachineDir()) return folder;  // the drive folder
            Folder* above = Kept(parent);
            if (above == nullptr || above->serial != below->parentSerial || above->names.count(name) == 0)
                return nullptr;
            path = parent;
            below = above;
        }
    }

    // Anchored, after the host has been asked for the folder at `dir` (read when it is not
    // kept as it is): found in the anchored folder above, it is anchored below it.
    Folder* Anchor(const std::string& dir) {
        Folder scratch;
        Folder* folder = Get(dir, &scratch);
        std::string parent, name;
        if (folder == nullptr || folder == &scratch || !Split(dir, &parent, &name)) return nullptr;
        if (parent != MachineDir()) {
            Folder* above = Anchored(parent, false);
            if (above == nullptr || above->names.count(name) == 0) return nullptr;
            folder->parentSerial = above->serial;
        }
        return Anchored(dir, false);
    }

    static Folders& Instance() {
        static Folders* folders = new Folders;  // outlives every static destructor
        return *folders;
    }

private:
    static const uint32_t kEvents =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

    Folders() {
        notices_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        pthread_atfork(nullptr, nullptr, [] { Instance().AfterFork(); });
    }

    // A child shares its parent's notices: it takes none of them and starts afresh.
    void AfterFork() {
        kept_.clear();
        watched_.clear();
        if (notices_ >= 0) close(notices_);
        notices_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }

    // Applies every report waiting.
    void Drain() {
        if (notices_ < 0) return;
        alignas(struct inotify_event) char buffer[65536];
        for (;;) {
            ssize_t n = read(notices_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;  // none left (EAGAIN)
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const struct inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(struct inotify_event) + e->len);
                Apply(*e);
            }
        }
    }

    void Apply(const struct inotify_event& e) {
        if (e.mask & IN_Q_OVERFLOW) {
            ForgetAll();
            return;
        }
        auto [first, last] = watched_.equal_range(e.wd);
        std::vector<std::string> dirs;
        for (auto it = first; it != last; ++it) dirs.push_back(it->second);
        for (const std::string& dir : dirs) {
            auto it = kept_.find(dir);
            if (it == kept_.end()) continue;
            if (e.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
                Forget(it);
            } else if (e.len > 0 && (e.mask & (IN_CREATE | IN_MOVED_TO))) {
                it->second->Add(e.name, (e.mask & IN_ISDIR) ? S_IFDIR : 0);
            } else if (e.len > 0 && (e.mask & (IN_DELETE | IN_MOVED_FROM))) {
                it->second->Remove(e.name);
            }
        }
    }

    void Unwatch(int watch) {
        if (watch >= 0 && watched_.count(watch) == 0) inotify_rm_watch(notices_, watch);
    }

    void Forget(std::map<std::string, std::unique_ptr<Folder>>::iterator it) {
        int watch = it->second->watch;
        auto [first, last] = watched_.equal_range(watch);
        for (auto w = first; w != last; ++w) {
            if (w->second == it->first) {
                watched_.erase(w);
                break;
            }
        }
        kept_.erase(it);
        Unwatch(watch);
    }

    void ForgetAll() {
        while (!kept_.empty()) Forget(kept_.begin());
    }

    // The kept folder at `dir` if it was read with the machine's present naming.
    Folder* Kept(const std::string& dir) {
        auto it = kept_.find(dir);
        if (it == kept_.end() || it->second->codepage != Config().codepage ||
            it->second->shortnames != Config().shortnames)
            return nullptr;
        return it->second.get();
    }

    static bool Split(const std::string& path, std::string* parent, std::string* name) {
        size_t slash = path.rfind('/');
        if (slash == std::string::npos) return false;
        *parent = path.substr(0, slash);
        *name = path.substr(slash + 1);
        return true;
    }

    int notices_ = -1;
    uint64_t serials_ = 0;
    std::map<std::string, std::unique_ptr<Folder>> kept_;  // by host path
    std::multimap<int, std::string> watched_;              // watch -> host paths (one folder, many spellings)
};

}  // namespace

std::vector<FolderEntry> ListFolder(const std::string& dir, bool dots) {
    Folder scratch;
    Folder* folder = Folders::Instance().Get(dir, &scratch);
    std::vector<FolderEntry> entries;
    if (folder == nullptr) return entries;
    folder->Order();
    if (dots) {
        entries.push_back(FolderEntry{".", ".", ""});
        entries.push_back(FolderEntry{"..", "..", ""});
    }
    entries.insert(entries.end(), folder->entries.begin(), folder->entries.end());
    return entries;
}

KeptAnswer FindKeptEntry(const std::string& dir, const std::string& part, bool drain, std::string* entry, mode_t* mode) {
    Folders& folders = Folders::Instance();
    Folder* folder = folders.Anchored(dir, drain);
    if (folder == nullptr) folder = folders.Anchor(dir);
    if (folder == nullptr) return KeptAnswer::kNotKept;
    std::string host;
    if (HostEntryName(part, &host) == ERROR_SUCCESS && folder->names.count(host) != 0)
        *entry = host;
    else if (!PickEntry(folder->Named(part), part, entry))
        return KeptAnswer::kMissing;
    // The type, asked of the host once for an entry whose listing or report did not give it.
    mode_t& type = folder->types[*entry];
    if (type == 0) {
        struct stat st;
        if (lstat((dir + "/" + *entry).c_str(), &st) == 0) type = st.st_mode & S_IFMT;
    }
    *mode = type;
    return KeptAnswer::kFound;
}

std::vector<FolderEntry> FolderEntriesNamed(const std::string& dir, const std::string& name) {
    Folder scratch;
    Folder* folder = Folders::Instance().Get(dir, &scratch);
    return folder != nullptr ? folder->Named(name) : std::vector<FolderEntry>();
}

bool PickEntry(const std::vector<FolderEntry>& named, const std::string& part, std::string* entry) {
    if (named.empty()) return false;
    auto same = std::find_if(named.begin(), named.end(), [&](const FolderEntry& e) { return SameName(e.name, part); });
    *entry = same != named.end() ? same->host : named[0].host;  // else named by its alias
    return true;
}

}  // namespace platform::host
