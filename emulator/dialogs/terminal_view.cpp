// The dialog on a terminal: the same texts as the Windows dialog, laid out in lines.
#include "emulator/dialogs/terminal_view.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "emulator/machine/host.h"

namespace platform::host {
namespace {

const int kWidth = 78;      // columns of the text box
const int kTextLines = 14;  // lines of the text box shown at once

// Display columns of one UTF-8 character starting at s[i]; its byte length in *length.
int Columns(const std::string& s, size_t i, size_t* length) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    unsigned cp = c;
    *length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (i + *length > s.size()) *length = 1;
    for (size_t k = 1; k < *length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    if (*length == 2) cp &= 0x7FF;
    if (*length == 3) cp &= 0xFFFF;
    if (*length == 4) cp &= 0x1FFFFF;
    return (cp >= 0x1100 && (cp <= 0x115F || (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3) ||
                             (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) ||
                             (cp >= 0xFF00 && cp <= 0xFF60) || (cp >= 0xFFE0 && cp <= 0xFFE6)))
               ? 2
               : 1;
}

// Splits UTF-8 text at line breaks and wraps it to `width` columns.
std::vector<std::string> Wrap(const std::string& text, int width) {
    std::vector<std::string> lines;
    std::string line;
    int used = 0;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\r') {
            ++i;
            continue;
        }
        if (text[i] == '\n') {
            lines.push_back(line);
            line.clear();
            used = 0;
            ++i;
            continue;
        }
        size_t length = 1;
        int columns = Columns(text, i, &length);
        if (used + columns > width) {
            lines.push_back(line);
            line.clear();
            used = 0;
        }
        line.append(text, i, length);
        used += columns;
        i += length;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string Label(const std::string& ansiText) {
    std::string label;
    for (char c : Utf8(ansiText))
        if (c != '&') label += c;
    return label;
}

// The letter after a label's '&', in upper case; 0 when the label has none.
char Mnemonic(const std::string& label) {
    size_t at = label.find('&');
    if (at == std::string::npos || at + 1 >= label.size()) return 0;
    return static_cast<char>(std::toupper(static_cast<unsigned char>(label[at + 1])));
}

const Window* Control(const Window* dialog, int id) {
    for (auto& child : dialog->children)
        if (child->id == id) return child.get();
    return nullptr;
}

// The keys that press the OK or Cancel button: its mnemonic, then Enter or Esc ("S/Enter").
std::string ButtonKeys(const Window* dialog, int id) {
    const Window* button = Control(dialog, id);
    char mnemonic = button != nullptr ? Mnemonic(button->text) : 0;
    return (mnemonic != 0 ? std::string(1, mnemonic) + "/" : "") + (id == IDOK ? "Enter" : "Esc");
}

// The template's first control of a window class ("edit", "msctls_progress32").
const Window* FirstOfClass(const Window* dialog, const std::string& className) {
    for (auto& child : dialog->children)
        if (child->className == className) return child.get();
    return nullptr;
}

}  // namespace

RawTerminal::RawTerminal() {
    if (tcgetattr(0, &saved_) != 0) return;
    struct termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(0, TCSANOW, &raw) == 0;
}

RawTerminal::~RawTerminal() {
    if (active_) tcsetattr(0, TCSANOW, &saved_);
}

Key ReadKey(char* letter) {
    *letter = 0;
    unsigned char c = 0;
    if (read(0, &c, 1) != 1) return Key::End;
    if (std::isalpha(c)) *letter = static_cast<char>(std::toupper(c));
    switch (*letter) {
    case 'Y': return Key::Yes;
    case 'N': return Key::No;
    case 'O': return Key::Ok;
    case 0: break;
    default: return Key::Letter;
    }
    switch (c) {
    case '\r': case '\n': return Key::Enter;
    case 0x1B: break;
    default: return Key::None;
    }
    // Esc alone is Exit; Esc followed at once by more bytes is a cursor key.
    struct pollfd more = {0, POLLIN, 0};
    if (poll(&more, 1, 50) <= 0) return Key::Esc;
    unsigned char seq[3] = {0, 0, 0};
    if (read(0, seq, 2) != 2 || seq[0] != '[') return Key::None;
    if (seq[1] == 'A') return Key::Up;
    if (seq[1] == 'B') return Key::Down;
    if ((seq[1] == '5' || seq[1] == '6') && read(0, seq + 2, 1) == 1)
        return seq[1] == '5' ? Key::PageUp : Key::PageDown;
    return Key::None;
}

int BoxAnswer(Key key, UINT style) {
    if ((style & MB_TYPEMASK) == MB_YESNO) {
        if (key == Key::Enter) key = (style & MB_DEFMASK) == MB_DEFBUTTON2 ? Key::No : Key::Yes;
        if (key == Key::Yes) return IDYES;
        return key == Key::No || key == Key::End ? IDNO : 0;
    }
    return key == Key::Enter || key == Key::Ok || key == Key::Esc || key == Key::End ? IDOK : 0;
}

void DrawDialog(const Window* dialog, int scroll, bool textBoxWhite, bool restartAsked) {
    std::string out = "\x1b[2J\x1b[H";
    std::string title;
    Utf16ToUtf8(dialog->title.data(), dialog->title.size(), &title);
    out += "\x1b[1m " + title + " \x1b[0m\n";
    out += std::string(kWidth + 2, '=') + "\n";

    const Window* box = FirstOfClass(dialog, "edit");
    std::vector<std::string> lines = Wrap(box ? Utf8(box->text) : "", kWidth);
    int maxScroll = static_cast<int>(lines.size()) > kTextLines ? static_cast<int>(lines.size()) - kTextLines : 0;
    if (scroll > maxScroll) scroll = maxScroll;
    for (int i = 0; i < kTextLines; ++i) {
        size_t n = static_cast<size_t>(scroll + i);
        std::string line = n < lines.size() ? lines[n] : "";
        out += textBoxWhite ? "\x1b[47;30m " + line + "\x1b[K\x1b[0m\n" : " " + line + "\n";
    }
    out += " (" + std::to_string(scroll + 1) + "-" + std::to_string(scroll + kTextLines) + " / " +
           std::to_string(lines.size()) + ")  Up/Down/PgUp/PgDn\n\n";

    // The static texts of the template (notices) from top to bottom, then the progress bar
    // and the buttons.
    std::vector<const Window*> notices;
    for (auto& child : dialog->children)
        if (child->className == "static" && !child->text.empty()) notices.push_back(child.get());
    std::sort(notices.begin(), notices.end(),
              [](const Window* a, const Window* b) { return a->rect.top < b->rect.top; });
    for (const Window* notice : notices) out += " " + Utf8(notice->text) + "\n";
    if (const Window* bar = FirstOfClass(dialog, "msctls_progress32")) {
        int span = bar->rangeHigh - bar->rangeLow;
        int filled = span > 0 ? (bar->pos - bar->rangeLow) * 50 / span : 0;
        if (filled < 0) filled = 0;
        if (filled > 50) filled = 50;
        out += " [" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(50 - filled), '.') +
               "] " + std::to_string(bar->pos) + "\n";
    }
    out += std::string(kWidth + 2, '-') + "\n  ";
    for (int id : {1, 2}) {
        const Window* button = Control(dialog, id);
        if (button == nullptr) continue;
        out += button->enabled ? "[ " + Label(button->text) + " ]   " : "\x1b[2m[ " + Label(button->text) + " ]\x1b[0m   ";
    }
    out += "\n\n" + KeyHelp(dialog) + "\n";
    // On Windows the system's shutdown would end the program now; here nothing restarts.
    if (restartAsked)
        out += "\n Restart asked: on Windows the system now shuts down and ends this program, the dialog\n"
               " open meanwhile. Nothing restarts here: " + ButtonKeys(dialog, IDCANCEL) +
               ", then N, leaves the dialog;\n vkmachine reboot then restarts the machine.\n";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
}

std::string KeyHelp(const Window* dialog) {
    std::string help;
    for (int id : {IDOK, IDCANCEL}) {
        const Window* button = Control(dialog, id);
        if (button == nullptr) continue;
        help += (help.empty() ? " " : "   ") + ButtonKeys(dialog, id) + ": " + Label(button->text);
    }
    return help;
}

int DialogButtonForKey(const Window* dialog, Key key, char letter) {
    if (key == Key::Enter) return IDOK;  // the default button
    if (key == Key::Esc) return IDCANCEL;
    if (letter == 0) return 0;
    for (int id : {IDOK, IDCANCEL}) {
        const Window* button = Control(dialog, id);
        if (button != nullptr && Mnemonic(button->text) == letter) return id;
    }
    return 0;
}

void DrawMessageBox(const std::string& caption, const std::string& text, UINT style) {
    std::string out = "\n +-- " + caption + " --\n";
    for (const std::string& line : Wrap(text, kWidth - 4)) out += " | " + line + "\n";
    if ((style & MB_TYPEMASK) != MB_YESNO)
        out += " +-- [Enter] OK\n";
    else if ((style & MB_DEFMASK) == MB_DEFBUTTON2)
        out += " +-- [Y] はい   [N/Enter] いいえ\n";
    else
        out += " +-- [Y/Enter] はい   [N] いいえ\n";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace platform::host
