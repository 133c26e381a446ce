// ExtractPayload: one payload resource, still compressed, written to a file in one write.
#include "payload/extract_payload.h"

#include "payload/payload_table.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "process/process_state.h"
#include "text/path_text.h"

int ExtractPayload(const char* folder, const char* fileName, uint32_t payloadIndex) {
    char path[PATH_BUFFER_SIZE];
    if (!JoinPath(path, sizeof path, folder, fileName)) return 1;

    WORD id = static_cast<WORD>(payloadIndex + PAYLOAD_RESOURCE_BASE);
    HRSRC found = platform::FindResourceExA(AppModule, RT_RCDATA, MAKEINTRESOURCEA(id),
                                            MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (found == nullptr) return 1;
    HGLOBAL loaded = platform::LoadResource(AppModule, found);
    if (loaded == nullptr) return 1;
    const void* bytes = platform::LockResource(loaded);
    DWORD size = platform::SizeofResource(AppModule, found);
    if (bytes == nullptr) return 1;

    HANDLE file = platform::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    BOOL ok = platform::WriteFile(file, bytes, size, &written, nullptr);
    platform::CloseHandle(file);
    // A failed or short write would leave a damaged payload for the version service to
    // expand: the partial file goes, and the caller is told.
    if (!ok || written != size) {
        platform::DeleteFileA(path);
        return 1;
    }
    return 0;
}
