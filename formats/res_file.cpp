// Reading .res files.
#include "formats/res_file.h"

#include "formats/little_endian.h"

namespace formats {
namespace {

// Reads a type or name field at `at` within a header ending at `end`; moves `at` past it.
bool ReadName(const uint8_t* bytes, size_t end, size_t* at, ResName* name) {
    if (end - *at < 2) return false;
    if (Get16(bytes + *at) == 0xFFFF) {
        if (end - *at < 4) return false;
        name->isString = false;
        name->ordinal = Get16(bytes + *at + 2);
        *at += 4;
        return true;
    }
    name->isString = true;
    for (;;) {
        if (end - *at < 2) return false;
        uint16_t c = Get16(bytes + *at);
        *at += 2;
        if (c == 0) return true;
        name->text += static_cast<char16_t>(c);
    }
}

}  // namespace

bool SameResName(const ResName& a, const ResName& b) {
    return a.isString == b.isString && (a.isString ? a.text == b.text : a.ordinal == b.ordinal);
}

bool ParseResFile(const uint8_t* bytes, size_t size, std::vector<ResEntry>* entries, std::string* error) {
    entries->clear();
    size_t at = 0;
    while (at < size) {
        const size_t start = at;
        auto fail = [&](const char* what) {
            entries->clear();
            *error = std::string(what) + " in the resource entry at offset " + std::to_string(start);
            return false;
        };
        if (size - at < 8) return fail("truncated header");
        uint32_t dataSize = Get32(bytes + at);
        uint32_t headerSize = Get32(bytes + at + 4);
        // The fixed fields after the names take 16 bytes; the names at least 4 each.
        if (headerSize < 8 + 4 + 4 + 16 || headerSize > size - at) return fail("bad header size");
        const size_t headerEnd = at + headerSize;
        size_t p = at + 8;
        ResEntry entry;
        if (!ReadName(bytes, headerEnd, &p, &entry.type) || !ReadName(bytes, headerEnd, &p, &entry.name))
            return fail("bad type or name");
        p = (p + 3) & ~static_cast<size_t>(3);
        if (p > headerEnd || headerEnd - p < 16) return fail("header too short");
        entry.dataVersion = Get32(bytes + p);
        entry.memoryFlags = Get16(bytes + p + 4);
        entry.language = Get16(bytes + p + 6);
        entry.version = Get32(bytes + p + 8);
        entry.characteristics = Get32(bytes + p + 12);
        if (dataSize > size - headerEnd) return fail("data past the end of the file");
        entry.data = bytes + headerEnd;
        entry.size = dataSize;
        // The empty entry (type 0) that opens every .res marks the format, not a resource.
        if (entry.type.isString || entry.type.ordinal != 0) entries->push_back(entry);
        at = (headerEnd + dataSize + 3) & ~static_cast<size_t>(3);
    }
    return true;
}

}  // namespace formats
