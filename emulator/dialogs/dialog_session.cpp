// The modal dialog on the host: runs the dialog's own handler, takes decisions from a script
// or the keyboard, and reports what happens as JSON lines or on the terminal.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "emulator/machine/host.h"
#include "emulator/dialogs/host_dialog.h"
#include "emulator/machine/machine_state.h"
#include "platform/dialogs.h"
#include "platform/system.h"
#include "emulator/dialogs/terminal_view.h"
#include "emulator/dialogs/windows_model.h"

namespace platform::host {
namespace {

struct Session {
    std::istream* in = &std::cin;
    std::ostream* out = &std::cout;
    bool interactive = isatty(0) != 0;
    std::vector<ScriptWord> words;  // what a script line may say at the dialog
    Window* dialog = nullptr;  // the running modal dialog
    DLGPROC proc = nullptr;
    int scroll = 0;
    int restarts = 0;
} session;

std::string Json(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

void Emit(const std::string& json) {
    if (session.interactive) return;
    *session.out << json << "\n";
    session.out->flush();
}

// The dialog manager's refusal (Esc while Exit is disabled): the terminal's bell, or an event.
void Beep() {
    if (session.interactive)
        *session.out << '\a' << std::flush;
    else
        Emit("{\"event\":\"beep\"}");
}

// Reads the next decision line of the script: false at the end of input.
bool ReadLine(std::string* line) {
    if (!std::getline(*session.in, *line)) return false;
    while (!line->empty() && (line->back() == '\r' || line->back() == ' ')) line->pop_back();
    return true;
}

void Redraw() {
    if (!session.interactive || session.dialog == nullptr) return;
    // The text box's colours come from the dialog's own handler, as on Windows.
    bool white = false;
    for (auto& child : session.dialog->children) {
        if (child->className != "edit") continue;
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(ToHandle(session.dialog), &paint);
        white = session.proc(ToHandle(session.dialog), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                             reinterpret_cast<LPARAM>(ToHandle(child.get()))) ==
                reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
        EndPaint(ToHandle(session.dialog), &paint);
    }
    DrawDialog(session.dialog, session.scroll, white, session.restarts > 0);
}

// The words a script may answer the dialog with, as an error names them: "start or exit".
std::string WordList() {
    std::string list;
    for (size_t i = 0; i < session.words.size(); ++i)
        list += (i == 0 ? "" : i + 1 == session.words.size() ? " or " : ", ") + session.words[i].word;
    return list.empty() ? "no word" : list;
}

// The next command for the dialog: the button a key presses, or the command of a script's
// word; 0 at the end of input.
int NextCommand() {
    if (session.interactive) {
        for (;;) {
            Redraw();
            char letter = 0;
            Key key = ReadKey(&letter);
            if (int button = DialogButtonForKey(session.dialog, key, letter)) return button;
            switch (key) {
            case Key::End: return 0;
            case Key::Up: session.scroll = session.scroll > 0 ? session.scroll - 1 : 0; break;
            case Key::Down: ++session.scroll; break;
            case Key::PageUp: session.scroll = session.scroll > 10 ? session.scroll - 10 : 0; break;
            case Key::PageDown: session.scroll += 10; break;
            default: break;
            }
        }
    }
    std::string line;
    while (ReadLine(&line)) {
        for (const ScriptWord& word : session.words)
            if (line == word.word) return word.command;
        std::cerr << "vkupdate: the dialog expects " << WordList() << ", not \"" << line << "\"\n";
    }
    return 0;
}

}  // namespace

void SetDialogIo(std::istream* in, std::ostream* out, bool interactive, std::vector<ScriptWord> words) {
    session.in = in;
    session.out = out;
    session.interactive = interactive;
    session.words = std::move(words);
}

void EmitProgress(int pos) {
    if (session.interactive) {
        Redraw();
        return;
    }
    Emit("{\"event\":\"progress\",\"pos\":" + std::to_string(pos) + "}");
}

int RestartRequests() { return session.restarts; }

bool AskForFolder(const std::string& title, const std::string& refusal, std::string* answer) {
    if (session.interactive) return PromptFolderOnTerminal(title, refusal, answer);
    if (refusal.empty())
        Emit("{\"event\":\"picker\",\"title\":" + Json(title) + "}");
    else
        std::cerr << "vkupdate: the folder picker refuses " << refusal << "\n";
    return ReadLine(answer);
}

}  // namespace platform::host

namespace platform {

namespace {

DWORD lastDialogFailure = ERROR_SUCCESS;

INT_PTR RunDialogBox(HINSTANCE module, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
    HWND handle = host::CreateDialogWindows(module, templateName);
    host::Window* dialog = host::FromHandle(handle);
    if (dialog == nullptr || proc == nullptr || host::session.dialog != nullptr) {
        host::DestroyDialogWindows(handle);
        host::SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    (void)owner;
    host::session.dialog = dialog;
    host::session.proc = proc;
    host::session.scroll = 0;
    std::string title;
    host::Utf16ToUtf8(dialog->title.data(), dialog->title.size(), &title);
    host::Emit("{\"event\":\"dialog\",\"title\":" + host::Json(title) + "}");

    // Focus goes to the first tab stop when the handler returns TRUE; the host has no focus.
    proc(handle, WM_INITDIALOG, 0, param);
    proc(handle, WM_PAINT, 0, 0);
    {
        std::unique_ptr<host::RawTerminal> raw;
        if (host::session.interactive) raw = std::make_unique<host::RawTerminal>();
        int endsOfInput = 0;
        while (!dialog->ended) {
            int command = host::NextCommand();
            if (command == 0) {
                // The end of input is Exit; a dialog that stays open after repeated ends of
                // input (a restart that never comes) is closed.
                command = IDCANCEL;
                if (++endsOfInput > 3) break;
            }
            HWND button = GetDlgItem(handle, command);
            // A disabled button takes no click, and the dialog manager ignores Esc while the
            // IDCANCEL button is disabled: it beeps.
            if (button != nullptr && !host::WindowEnabled(button)) {
                if (command == IDCANCEL) host::Beep();
                continue;
            }
            proc(handle, WM_COMMAND, MAKEWPARAM(command, 0), reinterpret_cast<LPARAM>(button));
        }
    }
    INT_PTR result = dialog->result;
    host::Emit("{\"event\":\"end\"}");
    if (host::session.interactive) *host::session.out << "\n";
    host::session.dialog = nullptr;
    host::session.proc = nullptr;
    host::DestroyDialogWindows(handle);
    return result;
}

}  // namespace

INT_PTR DialogBoxParamA(HINSTANCE module, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
    INT_PTR result =
        host::InjectedFailure(host::Call::DialogBoxParamA) ? -1 : RunDialogBox(module, templateName, owner, proc, param);
    lastDialogFailure = result == -1 ? GetLastError() : ERROR_SUCCESS;
    if (result == -1 && lastDialogFailure == ERROR_SUCCESS) lastDialogFailure = ERROR_GEN_FAILURE;
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    if (host::InjectedFailure(host::Call::EndDialog)) return FALSE;
    host::Window* w = host::FromHandle(dialog);
    if (w == nullptr || w->parent != nullptr) {
        host::SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->ended = true;
    w->result = result;
    return TRUE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    if (host::InjectedFailure(host::Call::MessageBoxA)) return 0;
    (void)owner;
    std::string body = host::Utf8(text != nullptr ? text : "");
    std::string title = host::Utf8(caption != nullptr ? caption : "Error");
    bool yesNo = (style & MB_TYPEMASK) == MB_YESNO;
    if (host::session.interactive) {
        host::DrawMessageBox(title, body, style);
        for (;;) {
            char letter = 0;
            int answer = host::BoxAnswer(host::ReadKey(&letter), style);
            if (answer != 0) return answer;
        }
    }
    host::Emit("{\"event\":\"message\",\"style\":" + std::to_string(style) + ",\"caption\":" + host::Json(title) +
               ",\"text\":" + host::Json(body) + "}");
    std::string line;
    while (host::ReadLine(&line)) {
        if (yesNo && line == "yes") return IDYES;
        if (yesNo && line == "no") return IDNO;
        if (!yesNo && line == "ok") return IDOK;
        std::cerr << "vkupdate: the message box expects " << (yesNo ? "yes or no" : "ok") << ", not \"" << line
                  << "\"\n";
    }
    return yesNo ? IDNO : IDOK;
}

BOOL ExitWindowsEx(UINT flags, DWORD) {
    if (host::InjectedFailure(host::Call::ExitWindowsEx)) return FALSE;
    // The NT family restarts only for a process that holds the shutdown privilege.
    if (host::Config().platformId == VER_PLATFORM_WIN32_NT && !host::ShutdownPrivilegeEnabled()) {
        host::SetError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    }
    if ((flags & EWX_REBOOT) == 0) {
        host::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ++host::session.restarts;
    host::Emit("{\"event\":\"restart\"}");
    return TRUE;
}

}  // namespace platform

namespace platform::host {
DWORD DialogFailure() { return platform::lastDialogFailure; }
}  // namespace platform::host
