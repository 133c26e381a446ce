// Version calls: straight to version.dll.
#include "platform/version.h"

namespace platform {

DWORD GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle) { return ::GetFileVersionInfoSizeA(file, handle); }

BOOL GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data) {
    return ::GetFileVersionInfoA(file, handle, size, data);
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* value, PUINT length) {
    return ::VerQueryValueA(block, subBlock, value, length);
}

DWORD VerInstallFileA(DWORD flags, LPCSTR sourceName, LPCSTR destinationName, LPCSTR sourceFolder,
                      LPCSTR destinationFolder, LPCSTR currentFolder, LPSTR tempName,
                      PUINT tempNameLength) {
    // MinGW declares the name arguments without const; the call does not write them.
    return ::VerInstallFileA(flags, const_cast<LPSTR>(sourceName), const_cast<LPSTR>(destinationName),
                             const_cast<LPSTR>(sourceFolder), const_cast<LPSTR>(destinationFolder),
                             const_cast<LPSTR>(currentFolder), tempName, tempNameLength);
}

}  // namespace platform
