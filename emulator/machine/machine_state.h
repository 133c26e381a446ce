// Shared state of the emulated machine between the host modules (not for tests or tools).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "emulator/machine/host.h"

namespace platform::host {

// The registry store (registry_store.cpp). Load parses `file` whole and replaces the
// registry only when it is valid; a missing file gives an empty registry.
bool LoadRegistry(const std::string& file, std::string* error);
void UnloadRegistry();

// Holds the machine's lock (machine.lock in its folder) for as long as it exists, so that
// processes sharing a machine load, change and save its files one at a time. Nested holds in
// one process take it once.
class MachineLock {
public:
    MachineLock();
    ~MachineLock();
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;
    bool held() const;
};

// Writes all `size` bytes at `data` to host file descriptor `fd`, again after an interruption.
// 0, or the errno of the failure (ENOSPC when the file takes no more); `written`, when given,
// gets the number of bytes written either way.
int WriteAll(int fd, const void* data, size_t size, size_t* written = nullptr);
// Replaces the host file `path` by `bytes`: a temporary file of its own beside it, synced,
// renamed over it, and the folder synced. ERROR_SUCCESS or the Windows error of the failure.
DWORD ReplaceFileDurably(const std::string& path, const std::string& bytes);
// The lines of one of the machine's side files (attributes.txt, longnames.txt, holds.txt), each
// "FIELDS<TAB>TEXT" as (FIELDS, TEXT); comment lines (#) and lines without a tab are skipped.
// None when the file does not exist. Under the machine's lock, the lines read before are given
// again while no side file has been written since.
std::vector<std::pair<std::string, std::string>> ReadTabbedLines(const std::string& path);
// Writes a side file, as ReplaceFileDurably, or removes it when `text` is empty, and counts the
// write in machine.lock. Made under the machine's lock.
DWORD WriteSideFile(const std::string& path, const std::string& text);
// Closes this process's machine.lock and forgets the side files read (the machine closes).
void ForgetMachineLock();
// ERROR_* for an errno from a host call (paths.cpp).
DWORD ErrorFromErrno(int error);

// Sets the last error of the calling thread (system.cpp).
void SetError(DWORD error);
// Counts a call and, when a fault is injected for it, sets the last error to the
// injected error and returns true (faults.cpp).
bool InjectedFailure(Call call);

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
