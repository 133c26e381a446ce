// Drawing calls on the host: nothing reaches a screen, but what was asked is kept so that
// tests can see where the logo went and which colours the text box got.
#include <map>

#include "emulator/machine/host.h"
#include "emulator/dialogs/host_dialog.h"
#include "emulator/machine/machine_state.h"
#include "platform/dialogs.h"
#include "emulator/dialogs/windows_model.h"

namespace platform::host {
namespace {

struct DeviceContext {
    COLORREF background = RGB(255, 255, 255);
    COLORREF text = RGB(0, 0, 0);
};

struct ImageList {
    int width = 0, height = 0, count = 0;
    COLORREF mask = 0;
};

// Each handle is of one kind; a call given a handle of another kind refuses it.
enum class Kind { Bitmap, ImageList };

struct Gdi {
    DeviceContext dc;                 // one device context serves every paint
    std::map<void*, Kind> objects;    // bitmaps and image lists not yet released, by kind
    int paints = 0;                   // BeginPaint without EndPaint
    ImageDraw last;
    int brush = 0;                    // the stock white brush's identity

    // Windows releases the objects a process leaves behind when it ends (a DeleteObject that
    // failed); so does the host.
    ~Gdi() {
        for (auto& object : objects) {
            if (object.second == Kind::Bitmap)
                delete static_cast<int*>(object.first);
            else
                delete static_cast<ImageList*>(object.first);
        }
    }
} gdi;

bool IsKind(void* handle, Kind kind) {
    auto it = gdi.objects.find(handle);
    return it != gdi.objects.end() && it->second == kind;
}

}  // namespace

ImageDraw LastImageDraw() { return gdi.last; }

void ClearDrawing() { gdi.last = ImageDraw(); }

void DcColors(HDC dc, COLORREF* background, COLORREF* text) {
    if (reinterpret_cast<DeviceContext*>(dc) != &gdi.dc) return;
    *background = gdi.dc.background;
    *text = gdi.dc.text;
}

int OpenGdiObjects() { return static_cast<int>(gdi.objects.size()) + gdi.paints; }

// Bitmaps are made by LoadBitmapA (resources.cpp) through this.
HBITMAP NewBitmap() {
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(new int(0));
    gdi.objects[bitmap] = Kind::Bitmap;
    return bitmap;
}

}  // namespace platform::host

namespace platform {

void InitCommonControls() { host::InjectedFailure(host::Call::InitCommonControls); }

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    if (host::InjectedFailure(host::Call::BeginPaint) || host::FromHandle(window) == nullptr || paint == nullptr) return nullptr;
    *paint = PAINTSTRUCT();
    paint->hdc = reinterpret_cast<HDC>(&host::gdi.dc);
    ++host::gdi.paints;
    return paint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
    if (paint == nullptr || paint->hdc != reinterpret_cast<HDC>(&host::gdi.dc)) return FALSE;
    --host::gdi.paints;
    return TRUE;
}

BOOL DeleteObject(HGDIOBJ object) {
    if (host::InjectedFailure(host::Call::DeleteObject)) return FALSE;
    // Only bitmaps are GDI objects here; an image list is released by ImageList_Destroy.
    if (!host::IsKind(object, host::Kind::Bitmap)) {
        host::SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    host::gdi.objects.erase(object);
    delete static_cast<int*>(object);
    return TRUE;
}

HGDIOBJ GetStockObject(int object) {
    return object == WHITE_BRUSH ? static_cast<HGDIOBJ>(&host::gdi.brush) : nullptr;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
    if (reinterpret_cast<host::DeviceContext*>(dc) != &host::gdi.dc) return 0xFFFFFFFF;  // CLR_INVALID
    COLORREF previous = host::gdi.dc.background;
    host::gdi.dc.background = color;
    return previous;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    if (reinterpret_cast<host::DeviceContext*>(dc) != &host::gdi.dc) return 0xFFFFFFFF;
    COLORREF previous = host::gdi.dc.text;
    host::gdi.dc.text = color;
    return previous;
}

HIMAGELIST ImageList_Create(int width, int height, UINT, int, int) {
    if (host::InjectedFailure(host::Call::ImageList_Create) || width <= 0 || height <= 0) return nullptr;
    host::ImageList* list = new host::ImageList();
    list->width = width;
    list->height = height;
    host::gdi.objects[list] = host::Kind::ImageList;
    return reinterpret_cast<HIMAGELIST>(list);
}

int ImageList_AddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask) {
    host::ImageList* l = reinterpret_cast<host::ImageList*>(list);
    if (host::InjectedFailure(host::Call::ImageList_AddMasked) || !host::IsKind(l, host::Kind::ImageList) ||
        !host::IsKind(bitmap, host::Kind::Bitmap))
        return -1;
    l->mask = mask;
    return l->count++;
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style) {
    host::ImageList* l = reinterpret_cast<host::ImageList*>(list);
    if (host::InjectedFailure(host::Call::ImageList_Draw) || !host::IsKind(l, host::Kind::ImageList) || index < 0 || index >= l->count ||
        reinterpret_cast<host::DeviceContext*>(dc) != &host::gdi.dc)
        return FALSE;
    host::gdi.last = {x, y, l->width, l->height, style, l->mask, true};
    return TRUE;
}

BOOL ImageList_Destroy(HIMAGELIST list) {
    host::ImageList* l = reinterpret_cast<host::ImageList*>(list);
    if (!host::IsKind(l, host::Kind::ImageList)) return FALSE;
    host::gdi.objects.erase(l);
    delete l;
    return TRUE;
}

}  // namespace platform
