// Resource and string-table calls: straight to kernel32 and user32.
#include "platform/resources.h"

namespace platform {

HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
    return ::FindResourceExA(module, type, name, language);
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) { return ::LoadResource(module, resource); }
LPVOID LockResource(HGLOBAL data) { return ::LockResource(data); }
DWORD SizeofResource(HMODULE module, HRSRC resource) { return ::SizeofResource(module, resource); }

int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int size) {
    return ::LoadStringA(module, id, buffer, size);
}

HBITMAP LoadBitmapA(HINSTANCE module, LPCSTR name) { return ::LoadBitmapA(module, name); }

}  // namespace platform
