// COM on the emulated machine: initialisation per thread and the one class it serves, the
// shell-link object.
#include "emulator/machine/machine_state.h"
#include "emulator/shell/shell_control.h"
#include "emulator/shell/shell_state.h"
#include "platform/shell.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPersist = {0x0000010C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace platform {
namespace {

thread_local int initializeDepth = 0;

}  // namespace

namespace host {
bool ComInitialized() { return initializeDepth > 0; }
int ComInitializeDepth() { return initializeDepth; }
}  // namespace host

HRESULT CoInitialize(LPVOID reserved) {
    DWORD error = 0;
    if (host::Injected(host::Call::CoInitialize, &error)) return HRESULT_FROM_WIN32(error);
    if (reserved != nullptr) return E_INVALIDARG;
    return initializeDepth++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    DWORD error = 0;
    host::Injected(host::Call::CoUninitialize, &error);  // counted; it has no way to fail
    if (initializeDepth > 0) --initializeDepth;
}

HRESULT CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                         LPVOID* object) {
    DWORD error = 0;
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (host::Injected(host::Call::CoCreateInstance, &error)) return HRESULT_FROM_WIN32(error);
    if (initializeDepth == 0) return CO_E_NOTINITIALIZED;
    if (!(classId == CLSID_ShellLink) || !(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return host::CreateShellLink(interfaceId, object);
}

}  // namespace platform
