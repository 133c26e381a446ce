// The extended dialog template (DLGTEMPLATEEX) as the host dialog reads it from the .res.
#pragma once

#include <string>
#include <vector>

#include "platform_types.h"

namespace platform::host {

struct DialogItem {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::u16string className;  // predefined classes by name: "button", "edit", "static", ...
    std::u16string text;       // empty when the text is an ordinal
    WORD textOrdinal = 0;      // a resource id (the picture of a bitmap static), else 0
};

struct DialogTemplate {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::u16string title;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::u16string typeface;
    std::vector<DialogItem> items;
};

// Parses a DLGTEMPLATEEX of `size` bytes; false when it is not one or runs past its end.
bool ParseDialogTemplate(const BYTE* data, DWORD size, DialogTemplate* result);

}  // namespace platform::host
