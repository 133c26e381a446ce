// Reading .res files, and the module's own resources embedded in the host program.
#include "emulator/resources/resfile.h"

// The .res bytes that the build embeds (vkupdate_res_blob.S).
extern "C" const BYTE vk_res_begin[];
extern "C" const BYTE vk_res_end[];

namespace platform::host {
namespace {

WORD Word(const BYTE* p) { return static_cast<WORD>(p[0] | p[1] << 8); }
DWORD Dword(const BYTE* p) { return static_cast<DWORD>(Word(p)) | static_cast<DWORD>(Word(p + 2)) << 16; }

// Reads a type or name field at `at` within a header ending at `end`; moves `at` past it.
bool ReadName(const BYTE* bytes, size_t end, size_t* at, ResName* name) {
    if (end - *at < 2) return false;
    if (Word(bytes + *at) == 0xFFFF) {
        if (end - *at < 4) return false;
        name->isString = false;
        name->ordinal = Word(bytes + *at + 2);
        *at += 4;
        return true;
    }
    name->isString = true;
    for (;;) {
        if (end - *at < 2) return false;
        WORD c = Word(bytes + *at);
        *at += 2;
        if (c == 0) return true;
        name->text += static_cast<char16_t>(c);
    }
}

bool SameName(const ResName& a, const ResName& b) {
    return a.isString == b.isString && (a.isString ? a.text == b.text : a.ordinal == b.ordinal);
}

ResName Ordinal(WORD id) {
    ResName name;
    name.ordinal = id;
    return name;
}

WORD PrimaryLanguage(WORD language) { return language & 0x3FF; }

}  // namespace

bool ParseResFile(const BYTE* bytes, size_t size, std::vector<ResEntry>* entries, std::string* error) {
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
        DWORD dataSize = Dword(bytes + at);
        DWORD headerSize = Dword(bytes + at + 4);
        // The fixed fields after the names take 16 bytes; the names at least 4 each.
        if (headerSize < 8 + 4 + 4 + 16 || headerSize > size - at) return fail("bad header size");
        const size_t headerEnd = at + headerSize;
        size_t p = at + 8;
        ResEntry entry;
        if (!ReadName(bytes, headerEnd, &p, &entry.type) || !ReadName(bytes, headerEnd, &p, &entry.name))
            return fail("bad type or name");
        p = (p + 3) & ~static_cast<size_t>(3);
        if (p > headerEnd || headerEnd - p < 16) return fail("header too short");
        entry.dataVersion = Dword(bytes + p);
        entry.memoryFlags = Word(bytes + p + 4);
        entry.language = Word(bytes + p + 6);
        entry.version = Dword(bytes + p + 8);
        entry.characteristics = Dword(bytes + p + 12);
        if (dataSize > size - headerEnd) return fail("data past the end of the file");
        entry.data = bytes + headerEnd;
        entry.size = dataSize;
        // The empty entry (type 0) that opens every .res marks the format, not a resource.
        if (entry.type.isString || entry.type.ordinal != 0) entries->push_back(entry);
        at = (headerEnd + dataSize + 3) & ~static_cast<size_t>(3);
    }
    return true;
}

const std::vector<ResEntry>& ModuleResources() {
    static const std::vector<ResEntry> entries = [] {
        std::vector<ResEntry> parsed;
        std::string ignored;  // the build made these bytes; a damaged .res leaves no resources
        ParseResFile(vk_res_begin, static_cast<size_t>(vk_res_end - vk_res_begin), &parsed, &ignored);
        return parsed;
    }();
    return entries;
}

const ResEntry* FindModuleResource(const ResName& type, const ResName& name, WORD language, DWORD* error) {
    bool typeFound = false, nameFound = false;
    const ResEntry* neutral = nullptr;   // stored in language 0
    const ResEntry* japanese = nullptr;  // stored in 1041, the updater's language
    const ResEntry* first = nullptr;
    const ResEntry* primary = nullptr;
    for (const ResEntry& e : ModuleResources()) {
        if (!SameName(e.type, type)) continue;
        typeFound = true;
        if (!SameName(e.name, name)) continue;
        nameFound = true;
        if (e.language == language) return &e;
        if (first == nullptr) first = &e;
        if (e.language == 0 && neutral == nullptr) neutral = &e;
        if (e.language == 0x411 && japanese == nullptr) japanese = &e;
        if (PrimaryLanguage(e.language) == PrimaryLanguage(language) && primary == nullptr) primary = &e;
    }
    const ResEntry* found = nullptr;
    if (language == 0) found = neutral ? neutral : japanese ? japanese : first;
    else if ((language >> 10) == 0) found = primary;  // sublanguage neutral: any of that language
    if (found == nullptr && error != nullptr) {
        *error = !typeFound ? ERROR_RESOURCE_TYPE_NOT_FOUND
                 : !nameFound ? ERROR_RESOURCE_NAME_NOT_FOUND
                              : ERROR_RESOURCE_LANG_NOT_FOUND;
    }
    return found;
}

const ResEntry* FindModuleResource(WORD type, WORD id, WORD language, DWORD* error) {
    return FindModuleResource(Ordinal(type), Ordinal(id), language, error);
}

bool FindResourceBytes(WORD type, WORD id, const BYTE** data, DWORD* size) {
    const ResEntry* e = FindModuleResource(type, id, 0, nullptr);
    if (e == nullptr) return false;
    *data = e->data;
    *size = e->size;
    return true;
}

}  // namespace platform::host
