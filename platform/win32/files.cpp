// File and folder calls: straight to kernel32.
#include "platform/files.h"

namespace platform {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    return ::CreateFileA(name, access, shareMode, security, disposition, flags, templateFile);
}

BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    return ::WriteFile(file, data, size, written, overlapped);
}

BOOL ReadFile(HANDLE file, LPVOID data, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    return ::ReadFile(file, data, size, read, overlapped);
}

BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }
BOOL DeleteFileA(LPCSTR name) { return ::DeleteFileA(name); }
BOOL MoveFileA(LPCSTR from, LPCSTR to) { return ::MoveFileA(from, to); }
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) { return ::MoveFileExA(from, to, flags); }
BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) { return ::CopyFileA(from, to, failIfExists); }
BOOL SetFileAttributesA(LPCSTR name, DWORD attributes) { return ::SetFileAttributesA(name, attributes); }
DWORD GetFileAttributesA(LPCSTR name) { return ::GetFileAttributesA(name); }
BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES security) { return ::CreateDirectoryA(name, security); }
BOOL RemoveDirectoryA(LPCSTR name) { return ::RemoveDirectoryA(name); }
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) { return ::FindFirstFileA(pattern, found); }
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA found) { return ::FindNextFileA(search, found); }
BOOL FindClose(HANDLE search) { return ::FindClose(search); }
DWORD GetTempPathA(DWORD size, LPSTR buffer) { return ::GetTempPathA(size, buffer); }
UINT GetSystemDirectoryA(LPSTR buffer, UINT size) { return ::GetSystemDirectoryA(buffer, size); }
BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                       LPDWORD totalClusters) {
    return ::GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
}

}  // namespace platform
