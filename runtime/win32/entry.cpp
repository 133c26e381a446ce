// The process entry of the Windows executable, which links no C runtime: runs the static
// constructors, calls WinMain with what Windows hands over (the module, the command line
// without the program's name, the show command of the start-up info) and ends the process
// with its result.
#include <windows.h>

#include "runtime/runtime.h"

int WINAPI WinMain(HINSTANCE module, HINSTANCE previous, LPSTR arguments, int show);

// The linker's list of static constructors: -1 (or the count), the constructors, then 0.
extern "C" void (*__CTOR_LIST__[])();

namespace {

// In reverse order of the list, as the compiler's own start-up code runs them.
void RunStaticConstructors() {
    size_t count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr) ++count;
    while (count > 0) __CTOR_LIST__[count--]();
}

}  // namespace

extern "C" void WinMainCRTStartup() {
    RunStaticConstructors();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    LPSTR arguments = const_cast<LPSTR>(ProgramArguments(GetCommandLineA()));
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, arguments, show)));
}
