#include "files/file_length.h"

#include "platform/files.h"

int FileLength(const char* path, uint64_t* length) {
    WIN32_FIND_DATAA found;
    HANDLE search = platform::FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    platform::FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    *length = static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
    return 1;
}

int HasLength(const char* path, uint32_t length) {
    uint64_t found = 0;
    return FileLength(path, &found) && found == length;
}
