// Shared state of the emulated machine between the host modules (not for tests or tools).
#pragma once

#include <string>

#include "platform/host/machine/host.h"

namespace platform::host {

// The registry store (registry_store.cpp). Load parses `file` whole and replaces the
// registry only when it is valid; a missing file gives an empty registry.
bool LoadRegistry(const std::string& file, std::string* error);
void UnloadRegistry();

// Sets the last error of the calling thread (system.cpp).
void SetError(DWORD error);
// Counts a call of `name` and, when a fault is injected for it, sets the last error to the
// injected error and returns true (faults.cpp).
bool InjectedFailure(const char* name);

}  // namespace platform::host

namespace platform::host {
// Closes a handle that is not a file or search handle (the process token); false if unknown.
bool CloseOtherHandle(HANDLE handle);
// Gives the emulated process a new token, as a new process has (system.cpp).
void ResetProcessToken();
}  // namespace platform::host

namespace platform::host {
// A new bitmap handle for LoadBitmapA, released by DeleteObject (drawing.cpp).
HBITMAP NewBitmap();
}  // namespace platform::host
