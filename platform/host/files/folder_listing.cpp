// The entries of a folder of the emulated machine as Windows lists them: their Windows names in
// Windows' order and, when the machine makes them, the 8.3 aliases of the long names.
#include <dirent.h>

#include <algorithm>
#include <cstring>

#include "platform/host/files/file_system.h"

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

// The 8.3 aliases Windows gives the long names of one folder ("" for a name that is already
// short): the first six characters, "~N" with the lowest N no other name of the folder has,
// and the first three characters of the extension.
std::vector<std::string> ShortAliases(const std::vector<std::string>& names) {
    std::vector<std::string> aliases(names.size());
    std::vector<std::string> taken;
    for (const std::string& name : names)
        if (IsShortName(name)) taken.push_back(name);
    for (size_t i = 0; i < names.size(); ++i) {
        if (IsShortName(names[i])) continue;
        size_t dot = names[i].rfind('.');
        std::string base = AliasPart(names[i].substr(0, dot), 6);
        std::string ext = dot == std::string::npos ? "" : AliasPart(names[i].substr(dot + 1), 3);
        if (base.empty()) base = "_";
        for (int n = 1;; ++n) {
            std::string tail = "~" + std::to_string(n);
            std::string alias = AliasPart(base, 8 - tail.size()) + tail + (ext.empty() ? "" : "." + ext);
            bool used = false;
            for (const std::string& t : taken) used = used || SameName(t, alias);
            if (!used) {
                aliases[i] = alias;
                taken.push_back(alias);
                break;
            }
        }
    }
    return aliases;
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::string& dir, bool dots) {
    std::vector<FolderEntry> entries;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return entries;
    while (struct dirent* e = readdir(d)) {
        FolderEntry entry;
        entry.host = e->d_name;
        bool dot = entry.host == "." || entry.host == "..";
        if (dot && !dots) continue;
        if (dot) entry.name = entry.host;
        else if (!WindowsEntryName(entry.host, &entry.name)) continue;  // no Windows file
        entries.push_back(entry);
    }
    closedir(d);
    // In the order Windows lists them, so that the aliases do not depend on the host's order.
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return NameBefore(a.name, b.name); });
    if (Config().shortnames) {
        std::vector<std::string> names;
        for (const FolderEntry& entry : entries) names.push_back(entry.name);
        std::vector<std::string> aliases = ShortAliases(names);
        for (size_t i = 0; i < entries.size(); ++i) entries[i].alias = aliases[i];
    }
    return entries;
}

}  // namespace platform::host
