// Windows wildcard matching, by character of the machine code page.
#include "emulator/files/wildcard.h"

#include <vector>

#include "emulator/files/file_system.h"

namespace platform::host {
namespace {

using Chars = std::vector<std::string>;

// The DOS wildcards a pattern is turned into (and that a caller may give itself).
const char kDosStar[] = "<";  // any characters, but not the name's last dot
const char kDosQm[] = ">";    // one character, or none at a dot or at the end of the name
const char kDosDot[] = "\"";  // a dot, or nothing at the end of the name

// The pattern as the search matches it. Trailing dots and spaces go, as from every path; one
// that ended in a dot still asks for names without an extension: "*." and "*.." are "<". Then
// "*.*" is "*"; each '?' is DOS_QM, each '.' before a '*' or '?' DOS_DOT and each '*' before
// a '.' DOS_STAR.
Chars DosPattern(const std::string& pattern) {
    Chars p = SplitCharacters(pattern);
    bool endsInDot = !p.empty() && p.back() == ".";
    while (!p.empty() && (p.back() == "." || p.back() == " ")) p.pop_back();
    if (p == Chars{"*", ".", "*"}) return {"*"};
    Chars out;
    for (size_t i = 0; i < p.size(); ++i) {
        bool last = i + 1 == p.size();
        const std::string next = last ? (endsInDot ? "." : "") : p[i + 1];
        if (p[i] == "?") out.push_back(kDosQm);
        else if (p[i] == "." && (next == "*" || next == "?")) out.push_back(kDosDot);
        else if (p[i] == "*" && next == ".") out.push_back(kDosStar);
        else out.push_back(p[i]);
    }
    return out;
}

struct Matcher {
    const Chars& p;
    const Chars& n;
    size_t lastDot;                  // the name's last '.', or n.size()
    std::vector<signed char> known;  // -1 unknown, else the answer for (pi, ni)

    bool At(size_t pi, size_t ni) {
        signed char& memo = known[pi * (n.size() + 1) + ni];
        if (memo < 0) memo = Step(pi, ni) ? 1 : 0;
        return memo == 1;
    }
    bool Step(size_t pi, size_t ni) {
        if (pi == p.size()) return ni == n.size();
        const std::string& c = p[pi];
        bool end = ni == n.size();
        if (c == "*") return At(pi + 1, ni) || (!end && At(pi, ni + 1));
        if (c == kDosStar) return At(pi + 1, ni) || (!end && ni != lastDot && At(pi, ni + 1));
        if (c == kDosQm) return end || n[ni] == "." ? At(pi + 1, ni) : At(pi + 1, ni + 1);
        if (c == kDosDot) return end ? At(pi + 1, ni) : n[ni] == "." && At(pi + 1, ni + 1);
        if (end) return false;
        return (c == "?" || SameName(c, n[ni])) && At(pi + 1, ni + 1);
    }
};

}  // namespace

bool IsWildcardPattern(const std::string& name) { return name.find_first_of("*?<>\"") != std::string::npos; }

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    Chars p = DosPattern(pattern), n = SplitCharacters(name);
    size_t lastDot = n.size();
    for (size_t i = 0; i < n.size(); ++i)
        if (n[i] == ".") lastDot = i;
    Matcher m{p, n, lastDot, std::vector<signed char>((p.size() + 1) * (n.size() + 1), -1)};
    return m.At(0, 0);
}

}  // namespace platform::host
