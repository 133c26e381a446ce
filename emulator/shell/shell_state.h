// Shared parts of the emulated shell, for the host modules that implement it. Not for the
// logic, tools or tests.
#pragma once

#include <string>

#include "emulator/machine/host.h"

namespace platform::host {

// SHGetFolderPathA as SHFOLDER.DLL exports it; reached through GetProcAddress.
HRESULT WINAPI SHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path);

// A new shell-link object (IShellLinkA, with IPersistFile), asked for `iid`: S_OK with one
// reference in *object, or E_NOINTERFACE / E_OUTOFMEMORY with *object null.
HRESULT CreateShellLink(REFIID iid, void** object);

// Whether COM is initialised on this (the one) thread.
bool ComInitialized();

}  // namespace platform::host
