// The dialog drawn on a terminal (UTF-8), and single keys read from it.
#pragma once

#include <termios.h>

#include <string>

#include "emulator/dialogs/windows_model.h"

namespace platform::host {

enum class Key { None, Enter, Esc, Letter, Yes, No, Ok, Up, Down, PageUp, PageDown, End };

// Puts the terminal into single-key mode for the life of the object.
class RawTerminal {
public:
    RawTerminal();
    ~RawTerminal();
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

private:
    bool active_ = false;
    struct termios saved_;
};

// The next key; `letter` receives the key's letter in upper case (Y, N and O too), 0 for a key
// that is not a letter.
Key ReadKey(char* letter);
// What `key` answers in a message box of `style`, as MessageBoxA takes keys: Enter presses
// the default button (the first, or the one MB_DEFBUTTON2 names), Y and N their buttons, O and
// Esc an OK box's button; the end of input is No or OK. 0 when the box takes no such key.
int BoxAnswer(Key key, UINT style);
// Draws the dialog; `scroll` is the first line of the text box shown; `textBoxWhite` when the
// dialog asked for a white text box; `restartAsked` once Windows was asked to restart.
void DrawDialog(const Window* dialog, int scroll, bool textBoxWhite, bool restartAsked);
// The keys of the dialog's buttons, from its template: each button's mnemonic, Enter for the
// OK button (the default one) and Esc for the Cancel button, with the button's label; such as
// " S/Enter: Start   C/Esc: Exit".
std::string KeyHelp(const Window* dialog);
// The button a key presses in the dialog, as KeyHelp names the keys: IDOK for Enter, IDCANCEL for
// Esc, the OK or Cancel button whose mnemonic is `letter`; 0 for any other key.
int DialogButtonForKey(const Window* dialog, Key key, char letter);
// Draws a message box over the dialog.
void DrawMessageBox(const std::string& caption, const std::string& text, UINT style);

}  // namespace platform::host
