// The host's window model: building a dialog from its template, and the control calls.
#include <set>

#include "emulator/dialogs/dialog_template.h"
#include "emulator/machine/host.h"
#include "emulator/dialogs/host_dialog.h"
#include "emulator/machine/machine_state.h"
#include "platform/dialogs.h"
#include "platform/resources.h"
#include "emulator/resources/module_resources.h"
#include "emulator/dialogs/windows_model.h"

namespace platform::host {
namespace {

// Dialog units to pixels for a 9-point font at 96 dots per inch: a character cell of
// 6 x 12 pixels; a horizontal unit is a quarter of its width, a vertical one an eighth of
// its height.
const int kBaseX = 6, kBaseY = 12;
const int kScreenWidth = 1024, kScreenHeight = 768;
const int kBorder = 3, kCaption = 19;

std::set<Window*>& Live() {
    static std::set<Window*> live;
    return live;
}

void Register(Window* w) {
    Live().insert(w);
    for (auto& child : w->children) Register(child.get());
}

void Unregister(Window* w) {
    Live().erase(w);
    for (auto& child : w->children) Unregister(child.get());
}

LONG PixelsX(int units) { return units * kBaseX / 4; }
LONG PixelsY(int units) { return units * kBaseY / 8; }

std::string Lower(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

Window* Child(Window* dialog, int id) {
    if (dialog == nullptr) return nullptr;
    for (auto& child : dialog->children)
        if (child->id == id) return child.get();
    return nullptr;
}

}  // namespace

Window* FromHandle(HWND window) {
    Window* w = reinterpret_cast<Window*>(window);
    return Live().count(w) ? w : nullptr;
}

HWND ToHandle(Window* window) { return reinterpret_cast<HWND>(window); }

POINT ClientOrigin(const Window* dialog) {
    return {dialog->rect.left + kBorder, dialog->rect.top + kBorder + kCaption};
}

HWND CreateDialogWindows(HINSTANCE module, LPCSTR templateName) {
    const BYTE* bytes = nullptr;
    DWORD size = 0;
    if (module != ModuleHandle() || !IS_INTRESOURCE(templateName) ||
        !FindResourceBytes(5 /* RT_DIALOG */, LOWORD(reinterpret_cast<ULONG_PTR>(templateName)), &bytes, &size))
        return nullptr;
    DialogTemplate t;
    if (!ParseDialogTemplate(bytes, size, &t)) return nullptr;

    auto dialog = std::make_unique<Window>();
    dialog->className = "#32770";
    dialog->title = t.title;
    Utf16ToAnsi(t.title.data(), t.title.size(), &dialog->text);
    dialog->style = t.style;
    dialog->exStyle = t.exStyle;
    LONG width = PixelsX(t.cx) + 2 * kBorder;
    LONG height = PixelsY(t.cy) + 2 * kBorder + kCaption;
    LONG left = (t.style & 0x0800) ? (kScreenWidth - width) / 2 : PixelsX(t.x);  // DS_CENTER
    LONG top = (t.style & 0x0800) ? (kScreenHeight - height) / 2 : PixelsY(t.y);
    dialog->rect = {left, top, left + width, top + height};
    POINT origin = ClientOrigin(dialog.get());
    for (const DialogItem& item : t.items) {
        auto control = std::make_unique<Window>();
        control->parent = dialog.get();
        control->id = static_cast<int>(static_cast<short>(item.id));
        std::string name;
        Utf16ToUtf8(item.className.data(), item.className.size(), &name);
        control->className = Lower(name);
        Utf16ToAnsi(item.text.data(), item.text.size(), &control->text);
        control->style = item.style;
        control->exStyle = item.exStyle;
        control->enabled = (item.style & 0x08000000) == 0;  // WS_DISABLED
        control->rect = {origin.x + PixelsX(item.x), origin.y + PixelsY(item.y),
                         origin.x + PixelsX(item.x + item.cx), origin.y + PixelsY(item.y + item.cy)};
        dialog->children.push_back(std::move(control));
    }
    Window* made = dialog.release();
    Register(made);
    return ToHandle(made);
}

void DestroyDialogWindows(HWND dialog) {
    Window* w = FromHandle(dialog);
    if (w == nullptr || w->parent != nullptr) return;
    Unregister(w);
    delete w;
}

std::string WindowText(HWND window) {
    Window* w = FromHandle(window);
    return w ? w->text : std::string();
}

bool WindowEnabled(HWND window) {
    Window* w = FromHandle(window);
    return w != nullptr && w->enabled;
}

bool DialogEnded(HWND dialog) {
    Window* w = FromHandle(dialog);
    return w != nullptr && w->ended;
}

void ProgressState(HWND bar, int* low, int* high, int* pos) {
    Window* w = FromHandle(bar);
    if (w == nullptr) return;
    *low = w->rangeLow;
    *high = w->rangeHigh;
    *pos = w->pos;
}

}  // namespace platform::host

namespace platform {

HWND GetDlgItem(HWND dialog, int id) {
    if (host::InjectedFailure(host::Call::GetDlgItem)) return nullptr;
    host::Window* w = host::FromHandle(dialog);
    if (w == nullptr) {
        host::SetError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    host::Window* child = host::Child(w, id);
    if (child == nullptr) host::SetError(ERROR_CONTROL_ID_NOT_FOUND);
    return child != nullptr ? host::ToHandle(child) : nullptr;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    if (host::InjectedFailure(host::Call::SendDlgItemMessageA)) return 0;
    host::Window* w = host::Child(host::FromHandle(dialog), id);
    if (w == nullptr) return 0;
    if (w->className == "msctls_progress32") {
        if (message == PBM_SETRANGE) {
            LRESULT previous = MAKELONG(w->rangeLow, w->rangeHigh);
            w->rangeLow = LOWORD(lParam);
            w->rangeHigh = HIWORD(lParam);
            return previous;
        }
        if (message == PBM_SETPOS) {
            LRESULT previous = w->pos;
            w->pos = static_cast<int>(wParam);
            host::EmitProgress(w->pos);
            return previous;
        }
    }
    if (message == WM_SETTEXT) return SetWindowTextA(host::ToHandle(w), reinterpret_cast<LPCSTR>(lParam));
    return 0;
}

BOOL EnableWindow(HWND window, BOOL enable) {
    if (host::InjectedFailure(host::Call::EnableWindow)) return FALSE;
    host::Window* w = host::FromHandle(window);
    if (w == nullptr) return FALSE;
    BOOL wasDisabled = !w->enabled;
    w->enabled = enable != FALSE;
    return wasDisabled;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    if (host::InjectedFailure(host::Call::SetWindowTextA)) return FALSE;
    host::Window* w = host::FromHandle(window);
    if (w == nullptr) {
        host::SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->text = text != nullptr ? text : "";
    return TRUE;
}

LONG GetWindowLongA(HWND window, int index) {
    if (host::InjectedFailure(host::Call::GetWindowLongA)) return 0;
    host::Window* w = host::FromHandle(window);
    if (w == nullptr) return 0;
    switch (index) {
    case GWL_ID: return w->id;
    case -16: return static_cast<LONG>(w->style);    // GWL_STYLE
    case -20: return static_cast<LONG>(w->exStyle);  // GWL_EXSTYLE
    default: return 0;
    }
}

HWND GetParent(HWND window) {
    if (host::InjectedFailure(host::Call::GetParent)) return nullptr;
    host::Window* w = host::FromHandle(window);
    return w != nullptr && w->parent != nullptr ? host::ToHandle(w->parent) : nullptr;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    if (host::InjectedFailure(host::Call::GetWindowRect)) return FALSE;
    host::Window* w = host::FromHandle(window);
    if (w == nullptr || rect == nullptr) return FALSE;
    *rect = w->rect;
    return TRUE;
}

BOOL ScreenToClient(HWND window, LPPOINT point) {
    if (host::InjectedFailure(host::Call::ScreenToClient)) return FALSE;
    host::Window* w = host::FromHandle(window);
    if (w == nullptr || point == nullptr) return FALSE;
    POINT origin = w->parent == nullptr ? host::ClientOrigin(w) : POINT{w->rect.left, w->rect.top};
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

}  // namespace platform
