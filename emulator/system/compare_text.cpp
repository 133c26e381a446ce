// Text comparison without regard to letter case, by character of the machine code page.
#include "emulator/machine/host.h"
#include "platform/system.h"

namespace platform {
namespace {

// ASCII letters fold to upper case; the bytes of a double-byte character stay as they are.
int Fold(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

}  // namespace

// Cannot fail on Windows, so it is neither counted nor open to injected faults.
int lstrcmpiA(LPCSTR a, LPCSTR b) {
    if (a == nullptr || b == nullptr) return a == b ? 0 : a == nullptr ? -1 : 1;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
    for (;;) {
        bool lead = host::IsLeadByte(*p) && p[1] != '\0';
        int x = lead ? *p : Fold(*p);
        int y = host::IsLeadByte(*q) && q[1] != '\0' ? *q : Fold(*q);
        if (x != y || *p == '\0') return x < y ? -1 : x > y ? 1 : 0;
        if (lead) {
            ++p;
            ++q;
            if (*p != *q) return *p < *q ? -1 : 1;
        }
        ++p;
        ++q;
    }
}

}  // namespace platform
