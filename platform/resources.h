// Resource and string-table calls: the module's own resources, looked up by type, id and language.
#pragma once

#include "platform_types.h"

namespace platform {

HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int size);
HBITMAP LoadBitmapA(HINSTANCE module, LPCSTR name);

}  // namespace platform
