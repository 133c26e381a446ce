// The 8.3 name rules: Windows' listing order, which names are already 8.3 names, and the aliases
// of the others.
#include "emulator/files/short_names.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "emulator/machine/host.h"

namespace platform::host {

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

}  // namespace platform::host
