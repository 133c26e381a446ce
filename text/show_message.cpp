#include "text/show_message.h"

#include "platform/dialogs.h"
#include "process/process_state.h"
#include "text/load_text.h"
#include "text/text_ids.h"

int ShowMessage(HWND owner, const char* lead, UINT textId, UINT style) {
    // LoadText's two buffers keep the caption while the text is loaded.
    const char* caption = LoadText(AppModule, IDS_CAPTION);
    if (lead != nullptr) platform::MessageBoxA(owner, lead, caption, style);
    return platform::MessageBoxA(owner, LoadText(AppModule, textId), caption, style);
}
