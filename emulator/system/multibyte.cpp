// MultiByteToWideChar on the emulated machine: the machine's ANSI code page to UTF-16.
#include <cstring>
#include <string>
#include <vector>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"
#include "platform/shell.h"

namespace platform {

// CP_ACP or the machine's code page by number. A character that has no UTF-16 form fails the
// call with MB_ERR_INVALID_CHARS and becomes "?" without it.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int size, LPWSTR wide, int wideSize) {
    if (host::InjectedFailure(host::Call::MultiByteToWideChar)) return 0;
    if (text == nullptr || size == 0 || size < -1 || wideSize < 0 || (wide == nullptr && wideSize > 0) ||
        (codePage != CP_ACP && codePage != host::Config().codepage)) {
        host::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t count = size == -1 ? std::strlen(text) + 1 : static_cast<size_t>(size);
    std::string ansi(text, count);
    std::u16string out;
    for (const std::string& c : host::SplitCharacters(ansi)) {
        std::u16string one;
        if (c.size() == 1 && c[0] == '\0') {
            one.assign(1, u'\0');
        } else if (!host::AnsiToUtf16(c, &one) || one.empty()) {
            if (flags & MB_ERR_INVALID_CHARS) {
                host::SetError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            one.assign(1, u'?');
        }
        out += one;
    }
    int needed = static_cast<int>(out.size());
    if (wideSize == 0) return needed;
    if (needed > wideSize) {
        host::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (int i = 0; i < needed; ++i) wide[i] = out[i];
    return needed;
}

}  // namespace platform
