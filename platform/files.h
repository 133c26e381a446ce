// File and folder calls the logic makes: the ANSI Win32 calls, same arguments and results.
#pragma once

#include <cstdint>

#include "platform_types.h"

namespace platform {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
BOOL ReadFile(HANDLE file, LPVOID data, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE handle);
BOOL DeleteFileA(LPCSTR name);
BOOL MoveFileA(LPCSTR from, LPCSTR to);
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags);
BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists);
BOOL SetFileAttributesA(LPCSTR name, DWORD attributes);
DWORD GetFileAttributesA(LPCSTR name);
BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryA(LPCSTR name);
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found);
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA found);
BOOL FindClose(HANDLE search);
DWORD GetTempPathA(DWORD size, LPSTR buffer);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters);

// The free space of the drive that holds a folder, found by name in KERNEL32.DLL at run time
// ("GetDiskFreeSpaceExA"), since the first Windows 95 lacks it.
typedef BOOL(WINAPI* GetDiskFreeSpaceExAProc)(LPCSTR folder, PULARGE_INTEGER availableToCaller,
                                               PULARGE_INTEGER totalBytes, PULARGE_INTEGER freeBytes);

}  // namespace platform

// A file's length as its directory entry gives it, the whole 64 bits, read through the calls
// above: the one size check of the steps, written here so that each step reaches it as it
// reaches the machine.
// 1 when `path` is a file (not a folder), with its length in `length`; 0 otherwise.
inline int FileLength(const char* path, uint64_t* length) {
    WIN32_FIND_DATAA found;
    HANDLE search = platform::FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    platform::FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    *length = static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    return 1;
}

// 1 when `path` is a file (not a folder) of exactly `length` bytes.
inline int HasLength(const char* path, uint32_t length) {
    uint64_t found = 0;
    return FileLength(path, &found) && found == length;
}
