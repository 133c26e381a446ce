// The compiled resources (.res) of the updater as the host build reads them: the file format,
// and the module's own resources, which are the .res bytes embedded in the program.
#pragma once

#include <string>
#include <vector>

#include "platform_types.h"

namespace platform::host {

// A type or name of a resource: a number (ordinal) or a UTF-16 string.
struct ResName {
    bool isString = false;
    WORD ordinal = 0;
    std::u16string text;
};

// One entry of a .res file; `data` points into the parsed bytes, which must outlive it.
struct ResEntry {
    ResName type;
    ResName name;
    DWORD dataVersion = 0;
    WORD memoryFlags = 0;
    WORD language = 0;
    DWORD version = 0;
    DWORD characteristics = 0;
    const BYTE* data = nullptr;
    DWORD size = 0;
};

// Parses a whole .res image: a sequence of RESOURCEHEADER entries, each followed by its data,
// DWORD-aligned. The empty entry that opens the file is left out. On failure `entries` is
// empty and `error` says at which offset the image is damaged.
bool ParseResFile(const BYTE* bytes, size_t size, std::vector<ResEntry>* entries, std::string* error);

// The module's own resources, parsed once from the embedded .res.
const std::vector<ResEntry>& ModuleResources();

// Finds a resource of the module by numeric type and id. Language 0 (neutral) takes an entry
// stored in any language, as Windows falls back to the one there is; another language must
// match exactly, or by its primary language when its sublanguage is neutral. Null if none.
// `error` (may be null) receives ERROR_RESOURCE_TYPE_NOT_FOUND, _NAME_ or _LANG_.
const ResEntry* FindModuleResource(WORD type, WORD id, WORD language, DWORD* error);
const ResEntry* FindModuleResource(const ResName& type, const ResName& name, WORD language, DWORD* error);

// The bytes of the module's resource of numeric type and id, in any language. False, with the
// outputs untouched, when there is none.
bool FindResourceBytes(WORD type, WORD id, const BYTE** data, DWORD* size);

}  // namespace platform::host
