// Message boxes under the updater's caption.
#pragma once

#include "platform_types.h"

// Shows `lead` when it is not null, then string `textId`, each in a box of `style` under the
// caption IDS_CAPTION, which is loaded once, before the text. Returns the last box's answer.
int ShowMessage(HWND owner, const char* lead, UINT textId, UINT style);
