// The module's own resources as the host build reads them: the .res bytes embedded in the
// program, parsed once.
#pragma once

#include <vector>

#include "formats/res_file.h"
#include "platform_types.h"

namespace platform::host {

using formats::ResEntry;
using formats::ResName;

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
