// Windows wildcard matching, by character of the machine code page.
#include "platform/host/files/wildcard.h"

#include <vector>

#include "platform/host/files/file_system.h"

namespace platform::host {
namespace {

using Chars = std::vector<std::string>;

bool SameChar(const std::string& a, const std::string& b) { return SameName(a, b); }

bool OnlyStars(const Chars& p, size_t from) {
    for (size_t i = from; i < p.size(); ++i)
        if (p[i] != "*") return false;
    return true;
}

bool Match(const Chars& p, size_t pi, const Chars& n, size_t ni) {
    while (pi < p.size()) {
        if (p[pi] == "*") {
            while (pi < p.size() && p[pi] == "*") ++pi;
            if (pi == p.size()) return true;
            for (size_t k = ni; k <= n.size(); ++k)
                if (Match(p, pi, n, k)) return true;
            return false;
        }
        if (ni == n.size()) return p[pi] == "." && OnlyStars(p, pi + 1);
        if (p[pi] != "?" && !SameChar(p[pi], n[ni])) return false;
        ++pi;
        ++ni;
    }
    return ni == n.size();
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    return Match(SplitCharacters(pattern), 0, SplitCharacters(name), 0);
}

}  // namespace platform::host
