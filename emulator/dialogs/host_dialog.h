// The host dialog: where it reads decisions and writes events, and what its windows show.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform_types.h"

namespace platform::host {

// A word a script answers the dialog with, and the command it sends (the id of the button it
// presses).
struct ScriptWord {
    std::string word;
    int command;
};

// Decisions come from `in` and events go to `out`: JSON lines when `interactive` is false,
// a terminal drawing with single keys when it is true. A scripted dialog takes the lines of
// `words`, which the program names for its dialog's buttons; any other line is refused.
// Defaults: standard input and output, interactive when standard input is a terminal, no words.
void SetDialogIo(std::istream* in, std::ostream* out, bool interactive, std::vector<ScriptWord> words = {});

// Builds the windows of a dialog template without running it, for tests; nullptr when the
// template cannot be found or read.
HWND CreateDialogWindows(HINSTANCE module, LPCSTR templateName);
void DestroyDialogWindows(HWND dialog);

// What the windows hold.
std::string WindowText(HWND window);  // machine code page
bool WindowEnabled(HWND window);
bool DialogEnded(HWND dialog);
void ProgressState(HWND bar, int* low, int* high, int* pos);

// The last image-list drawing: where and how large.
struct ImageDraw {
    int x = 0, y = 0, width = 0, height = 0;
    UINT style = 0;
    COLORREF mask = 0;
    bool drawn = false;
};
ImageDraw LastImageDraw();
void ClearDrawing();
// The colours last set on a device context.
void DcColors(HDC dc, COLORREF* background, COLORREF* text);
// Handles that were created and not yet released (bitmaps, image lists, paint sessions).
int OpenGdiObjects();

// How often Windows was asked to restart in this process.
int RestartRequests();
// The error of the last DialogBoxParamA when it failed (returned -1), else ERROR_SUCCESS.
DWORD DialogFailure();

}  // namespace platform::host
