// Registry calls: straight to advapi32.
#include "platform/registry.h"

namespace platform {

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) { return ::RegOpenKeyA(key, subKey, result); }

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    return ::RegOpenKeyExA(key, subKey, options, access, result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    return ::RegCreateKeyExA(key, subKey, reserved, keyClass, options, access, security, result,
                             disposition);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size) {
    return ::RegQueryValueExA(key, valueName, reserved, type, data, size);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size) {
    return ::RegSetValueExA(key, valueName, reserved, type, data, size);
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) { return ::RegDeleteValueA(key, valueName); }

LONG RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

}  // namespace platform
