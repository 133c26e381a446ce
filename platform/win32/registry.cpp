// Registry calls: straight to advapi32, loaded from the system folder. Where it cannot be found,
// a call fails with the error that says why.
#include "platform/registry.h"
#include "platform/win32/system_libraries.h"

namespace {

LONG Unavailable() { return static_cast<LONG>(::GetLastError()); }

}  // namespace

namespace platform {

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    CALL_SYSTEM_FUNCTION(ADVAPI32_DLL, RegOpenKeyA, Unavailable(), key, subKey, result);
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    CALL_SYSTEM_FUNCTION(ADVAPI32_DLL, RegOpenKeyExA, Unavailable(), key, subKey, options, access, result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    CALL_SYSTEM_FUNCTION(ADVAPI32_DLL, RegCreateKeyExA, Unavailable(), key, subKey, reserved, keyClass,
                         options, access, security, result, disposition);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size) {
    CALL_SYSTEM_FUNCTION(ADVAPI32_DLL, RegQueryValueExA, Unavailable(), key, valueName, reserved, type, data,
                         size);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size) {
    CALL_SYSTEM_FUNCTION(ADVAPI32_DLL, RegSetValueExA, Unavailable(), key, valueName, reserved, type, data, size);
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
    CALL_SYSTEM_FUNCTION(ADVAPI32_DLL, RegDeleteValueA, Unavailable(), key, valueName);
}

LONG RegCloseKey(HKEY key) { CALL_SYSTEM_FUNCTION(ADVAPI32_DLL, RegCloseKey, Unavailable(), key); }

}  // namespace platform
