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
#include <unordered_set>

#include "emulator/files/file_system.h"

namespace platform::host {
namespace {

// Windows lists "." and "..", then the names in order without regard to case.
bool NameBefore(const std::string& a, const std::string& b) {
    auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
    int ra = rank(a), rb = rank(b);
    if (ra != rb) return ra < rb;
    for (const char *x = a.c_str(), *y = b.c_str();; ++x, ++y) {
        unsigned char cx = static_cast<unsigned char>(*x), cy = static_cast<unsigned char>(*y);
        if (cx >= 'a' && cx <= 'z') cx -= 'a' - 'A';
        if (cy >= 'a' && cy <= 'z') cy -= 'a' - 'A';
        if (cx != cy || cx == 0) return cx < cy;
    }
}

// Windows' order; host entries whose names Windows does not tell apart keep their host order,
// so that the listing never depends on the order the host reads them.
bool EntryBefore(const FolderEntry& a, const FolderEntry& b) {
    if (NameBefore(a.name, b.name)) return true;
    if (NameBefore(b.name, a.name)) return false;
    return a.host < b.host;
}

// True when `name` is already an 8.3 name: 1-8 bytes, optionally a dot and 1-3 more, no
// character an 8.3 name cannot hold. Such names get no alias (their case does not matter).
bool IsShortName(const std::string& name) {
    if (name == "." || name == "..") return true;
    size_t dot = name.find('.');
    if (dot != name.rfind('.')) return false;
    std::string base = name.substr(0, dot), ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 || (dot != std::string::npos && ext.empty())) return false;
    for (char c : name)
        if (c == ' ' || std::strchr("+,;=[]", c) != nullptr) return false;
    return true;
}

// Up to `bytes` bytes of the characters of `text` as an alias holds them: upper case, no
// spaces or dots, '_' for what an 8.3 name cannot hold; a double-byte character is not split.
std::string AliasPart(const std::string& text, size_t bytes) {
    std::string out;
    for (const std::string& ch : SplitCharacters(text)) {
        if (ch == " " || ch == ".") continue;
        std::string c = ch;
        if (c.size() == 1 && std::strchr("+,;=[]", c[0]) != nullptr) c = "_";
        if (c.size() == 1 && c[0] >= 'a' && c[0] <= 'z') c[0] = static_cast<char>(c[0] - 'a' + 'A');
        if (out.size() + c.size() > bytes) break;
        out += c;
    }
    return out;
}

// Gives the long names of one folder, in Windows order, the 8.3 aliases Windows gives them:
// the first six characters, "~N" with the lowest N no other name of the folder has, and the
// first three characters of the extension. Names with the same six characters and extension
// try the same aliases in turn, and those below the last one given are all taken, so each
// starts after it: the whole folder costs time linear in its size.
void MakeAliases(std::vector<FolderEntry>* entries) {
    std::unordered_set<std::u16string> taken;
    for (const FolderEntry& e : *entries)
        if (IsShortName(e.name)) taken.insert(FoldName(e.name));
    std::unordered_map<std::string, int> lastGiven;  // base + "." + extension -> N
    for (FolderEntry& e : *entries) {
        if (IsShortName(e.name)) continue;
        size_t dot = e.name.rfind('.');
        std::string base = AliasPart(e.name.substr(0, dot), 6);
        std::string ext = dot == std::string::npos ? "" : AliasPart(e.name.substr(dot + 1), 3);
        if (base.empty()) base = "_";
        int& n = lastGiven[base + "." + ext];
        for (;;) {
            std::string tail = "~" + std::to_string(++n);
            std::string alias = AliasPart(base, 8 - tail.size()) + tail + (ext.empty() ? "" : "." + ext);
            if (taken.insert(FoldName(alias)).second) {
                e.alias = alias;
                break;
            }
        }
    }
}

// A name as it can take part in an alias: with a '~'. Aliases always have one, and no other
// character folds to it.
bool MayBeAlias(const std::u16string& folded) { return folded.find(u'~') != std::u16string::npos; }

// One folder as last read and kept up to date.
struct Folder {
    dev_t dev = 0;
    ino_t ino = 0;
    int watch = -1;
    UINT codepage = 0;  // what the names were read with
    bool shortnames = false;
    std::unordered_map<std::string, std::string> names;            // host entry -> Windows name
    std::unordered_multimap<std::u16string, std::string> byName;   // folded Windows name -> host entry
    // In Windows order with aliases, made from `names` when needed; empty while out of date.
    bool ordered = false;
    std::vector<FolderEntry> entries;
    std::unordered_multimap<std::u16string, size_t> byAlias;  // folded alias -> index in `entries`
    std::unordered_map<std::string, size_t> position;         // host entry -> index in `entries`

    void Add(const std::string& host) {
        std::string name;
        Remove(host);
        if (!WindowsEntryName(host, &name)) return;  // holds no file of the machine
        byName.emplace(FoldName(name), host);
        names.emplace(host, std::move(name));
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
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) folder->Add(e->d_name);
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
        watched_.emplace(watch, dir);
        return kept_.emplace(dir, std::move(folder)).first->second.get();
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
                it->second->Add(e.name);
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

    int notices_ = -1;
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

std::vector<FolderEntry> FolderEntriesNamed(const std::string& dir, const std::string& name) {
    Folder scratch;
    Folder* folder = Folders::Instance().Get(dir, &scratch);
    std::vector<FolderEntry> found;
    if (folder == nullptr) return found;
    std::u16string folded = FoldName(name);
    auto [first, last] = folder->byName.equal_range(folded);
    for (auto it = first; it != last; ++it) found.push_back(folder->Entry(it->second));
    if (folder->shortnames && MayBeAlias(folded)) {
        folder->Order();
        auto [from, to] = folder->byAlias.equal_range(folded);
        for (auto it = from; it != to; ++it) found.push_back(folder->entries[it->second]);
    }
    std::sort(found.begin(), found.end(), EntryBefore);
    return found;
}

}  // namespace platform::host
