// LoadText: a string-table entry in the system code page, in one of two alternating buffers.
#pragma once

#include "platform_types.h"

#define LOAD_TEXT_SIZE 512

// Returns the text of `id` from `module`'s string table. The text stays valid until the
// second following call: consecutive calls fill the two buffers in turn, so a caption and a
// message can be loaded one after the other and used together. A missing id gives "".
const char* LoadText(HINSTANCE module, UINT id);
