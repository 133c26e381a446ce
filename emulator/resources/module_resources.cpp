// The module's own resources: the .res bytes the build embeds in the host program.
#include "emulator/resources/module_resources.h"

// The .res bytes that the build embeds (vkupdate_res_blob.S).
extern "C" const BYTE vk_res_begin[];
extern "C" const BYTE vk_res_end[];

namespace platform::host {
namespace {

ResName Ordinal(WORD id) {
    ResName name;
    name.ordinal = id;
    return name;
}

WORD PrimaryLanguage(WORD language) { return language & 0x3FF; }

}  // namespace

const std::vector<ResEntry>& ModuleResources() {
    static const std::vector<ResEntry> entries = [] {
        std::vector<ResEntry> parsed;
        std::string ignored;  // the build made these bytes; a damaged .res leaves no resources
        formats::ParseResFile(vk_res_begin, static_cast<size_t>(vk_res_end - vk_res_begin), &parsed, &ignored);
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
        if (!formats::SameResName(e.type, type)) continue;
        typeFound = true;
        if (!formats::SameResName(e.name, name)) continue;
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
