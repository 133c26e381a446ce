// Version resources and version installation (version.dll), ANSI calls.
#pragma once

#include "platform_types.h"

namespace platform {

DWORD GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle);
BOOL GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data);
BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* value, PUINT length);
DWORD VerInstallFileA(DWORD flags, LPCSTR sourceName, LPCSTR destinationName, LPCSTR sourceFolder,
                      LPCSTR destinationFolder, LPCSTR currentFolder, LPSTR tempName,
                      PUINT tempNameLength);

}  // namespace platform
