#include "payload/payload_length.h"

#include "payload/payload_table.h"
#include "platform/resources.h"
#include "process/process_state.h"

namespace {

// "SZDD" and the four bytes that follow it; the mode byte, the missing character and the
// expanded length (uint32, little-endian) come next.
const unsigned char kSzddMagic[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};
const DWORD kSzddHeaderSize = 14;
const DWORD kLengthOffset = 10;

}  // namespace

int InstalledPayloadLength(uint32_t payloadIndex, uint32_t* length) {
    uint32_t stored = 0;
    return PayloadLengths(payloadIndex, &stored, length);
}

int PayloadLengths(uint32_t payloadIndex, uint32_t* stored, uint32_t* length) {
    LPCSTR name = MAKEINTRESOURCEA(static_cast<WORD>(payloadIndex + PAYLOAD_RESOURCE_BASE));
    HRSRC found = platform::FindResourceExA(AppModule, RT_RCDATA, name, 0);
    if (found == nullptr) return 0;
    HGLOBAL loaded = platform::LoadResource(AppModule, found);
    const unsigned char* bytes = static_cast<const unsigned char*>(platform::LockResource(loaded));
    DWORD size = platform::SizeofResource(AppModule, found);
    if (bytes == nullptr) return 0;
    *stored = size;
    bool szdd = size >= sizeof kSzddMagic;
    for (DWORD i = 0; szdd && i < sizeof kSzddMagic; ++i) szdd = bytes[i] == kSzddMagic[i];
    if (!szdd) {
        *length = size;
        return 1;
    }
    if (size < kSzddHeaderSize) return 0;
    const unsigned char* field = bytes + kLengthOffset;
    *length = static_cast<uint32_t>(field[0]) | static_cast<uint32_t>(field[1]) << 8 |
              static_cast<uint32_t>(field[2]) << 16 | static_cast<uint32_t>(field[3]) << 24;
    return 1;
}
