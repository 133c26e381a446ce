// The compiled resource file (.res) of Windows' resource compiler: a sequence of RESOURCEHEADER
// entries, each followed by its data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace formats {

// A type or name of a resource: a number (ordinal) or a UTF-16 string.
struct ResName {
    bool isString = false;
    uint16_t ordinal = 0;
    std::u16string text;
};

bool SameResName(const ResName& a, const ResName& b);

// One entry of a .res file; `data` points into the parsed bytes, which must outlive it.
struct ResEntry {
    ResName type;
    ResName name;
    uint32_t dataVersion = 0;
    uint16_t memoryFlags = 0;
    uint16_t language = 0;
    uint32_t version = 0;
    uint32_t characteristics = 0;
    const uint8_t* data = nullptr;
    uint32_t size = 0;
};

// Parses a whole .res image: a sequence of RESOURCEHEADER entries, each followed by its data,
// DWORD-aligned. The empty entry that opens the file is left out. On failure `entries` is
// empty and `error` says at which offset the image is damaged.
bool ParseResFile(const uint8_t* bytes, size_t size, std::vector<ResEntry>* entries, std::string* error);

}  // namespace formats
