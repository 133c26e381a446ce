// Version calls: straight to version.dll, loaded from the system folder.
#include "platform/version.h"
#include "platform/win32/system_libraries.h"

namespace platform {

DWORD GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle) {
    CALL_SYSTEM_FUNCTION(VERSION_DLL, GetFileVersionInfoSizeA, 0, file, handle);
}

BOOL GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data) {
    CALL_SYSTEM_FUNCTION(VERSION_DLL, GetFileVersionInfoA, FALSE, file, handle, size, data);
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* value, PUINT length) {
    CALL_SYSTEM_FUNCTION(VERSION_DLL, VerQueryValueA, FALSE, block, subBlock, value, length);
}

DWORD VerInstallFileA(DWORD flags, LPCSTR sourceName, LPCSTR destinationName, LPCSTR sourceFolder,
                      LPCSTR destinationFolder, LPCSTR currentFolder, LPSTR tempName,
                      PUINT tempNameLength) {
    // MinGW declares the name arguments without const; the call does not write them. Without
    // the service, the source counts as unreadable.
    CALL_SYSTEM_FUNCTION(VERSION_DLL, VerInstallFileA, VIF_CANNOTREADSRC, flags, const_cast<LPSTR>(sourceName),
                         const_cast<LPSTR>(destinationName), const_cast<LPSTR>(sourceFolder),
                         const_cast<LPSTR>(destinationFolder), const_cast<LPSTR>(currentFolder), tempName,
                         tempNameLength);
}

}  // namespace platform
