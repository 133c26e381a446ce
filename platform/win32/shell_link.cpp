// COM around the shell-link object: straight to ole32, and the code-page conversion to kernel32.
#include "platform/shell.h"

namespace platform {

HRESULT CoInitialize(LPVOID reserved) { return ::CoInitialize(reserved); }

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                         LPVOID* object) {
    return ::CoCreateInstance(classId, outer, context, interfaceId, object);
}

void CoUninitialize() { ::CoUninitialize(); }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int size, LPWSTR wide,
                        int wideSize) {
    return ::MultiByteToWideChar(codePage, flags, text, size, wide, wideSize);
}

}  // namespace platform
