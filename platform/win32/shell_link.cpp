// COM around the shell-link object: straight to ole32, loaded from the system folder, and the
// code-page conversion to kernel32.
#include "platform/shell.h"
#include "platform/win32/system_libraries.h"

namespace {

HRESULT Unavailable() { return HRESULT_FROM_WIN32(::GetLastError()); }

}  // namespace

namespace platform {

HRESULT CoInitialize(LPVOID reserved) { CALL_SYSTEM_FUNCTION(OLE32_DLL, CoInitialize, Unavailable(), reserved); }

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                         LPVOID* object) {
    CALL_SYSTEM_FUNCTION(OLE32_DLL, CoCreateInstance, Unavailable(), classId, outer, context, interfaceId, object);
}

void CoUninitialize() {
    if (auto function = SystemFunctionAs<decltype(&::CoUninitialize)>(OLE32_DLL, "CoUninitialize")) function();
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int size, LPWSTR wide,
                        int wideSize) {
    return ::MultiByteToWideChar(codePage, flags, text, size, wide, wideSize);
}

}  // namespace platform
