// Shell calls the logic makes: the ANSI Win32 calls, same arguments and results.
#pragma once

#include "platform_types.h"

namespace platform {

// The folder picker and the release of the item it returns.
LPITEMIDLIST SHBrowseForFolderA(LPBROWSEINFOA info);
BOOL SHGetPathFromIDListA(LPCITEMIDLIST item, LPSTR path);
void CoTaskMemFree(LPVOID memory);

// The documents-folder lookup, found by name at run time (GetProcAddress of
// "SHGetFolderPathA" in SHFOLDER.DLL or SHELL32.DLL), since older systems lack it.
typedef HRESULT(WINAPI* SHGetFolderPathAProc)(HWND owner, int folder, HANDLE token, DWORD flags,
                                               LPSTR path);

// COM around the shell-link object: the object is IShellLinkA, saved through IPersistFile.
HRESULT CoInitialize(LPVOID reserved);
HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                         LPVOID* object);
void CoUninitialize();
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int size, LPWSTR wide,
                        int wideSize);

}  // namespace platform
