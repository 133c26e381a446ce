#include "payload/has_length.h"

#include "platform/files.h"

int HasLength(const char* path, uint32_t length) {
    WIN32_FIND_DATAA found;
    HANDLE search = platform::FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    platform::FindClose(search);
    return !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.nFileSizeHigh == 0 &&
           found.nFileSizeLow == length;
}
