// The host's windows: a dialog and its controls, with what each shows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform_types.h"

namespace platform::host {

struct Window {
    Window* parent = nullptr;
    int id = 0;
    std::string className;  // lower case: button, edit, static, msctls_progress32
    std::string text;       // machine code page
    std::u16string title;   // dialog title as in the template
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect = {0, 0, 0, 0};  // screen pixels
    bool enabled = true;
    bool ended = false;
    INT_PTR result = 0;
    int rangeLow = 0, rangeHigh = 100, pos = 0;
    std::vector<std::unique_ptr<Window>> children;
};

// The window behind a handle, or nullptr for a handle that is not a live window.
Window* FromHandle(HWND window);
HWND ToHandle(Window* window);
// Client origin of a dialog in screen pixels.
POINT ClientOrigin(const Window* dialog);

// Events of the scripted dialog (dialog_session.cpp).
void EmitProgress(int pos);
// The folder picker's question (texts in UTF-8): one answer line from the script or the
// terminal; false when the input ended. Scripted, the `picker` event comes first; `refusal`,
// when not empty, says why the last answer was refused and the picker stays open.
bool AskForFolder(const std::string& title, const std::string& refusal, std::string* answer);
// The folder picker on the terminal (folder_prompt.cpp): the title, then one typed line.
bool PromptFolderOnTerminal(const std::string& title, const std::string& refusal, std::string* answer);

}  // namespace platform::host
