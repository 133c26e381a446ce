// A shortcut file made through the shell-link object, with COM initialised for this call only.
#include "platform/shell.h"
#include "postinstall/program_shortcut.h"

int CreateShellShortcut(const char* target, const char* arguments, const char* workingFolder,
                        int showCommand, const char* shortcutFile) {
    platform::CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (FAILED(platform::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                          reinterpret_cast<void**>(&link)))) {
        platform::CoUninitialize();
        return 0;
    }
    link->SetPath(target);
    link->SetArguments(arguments);
    link->SetWorkingDirectory(workingFolder);
    link->SetShowCmd(showCommand);
    IPersistFile* file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        link->Release();
        platform::CoUninitialize();
        return 0;
    }
    WCHAR widePath[MAX_PATH];
    int result = 0;
    // A path that does not convert whole is not saved to.
    if (platform::MultiByteToWideChar(CP_ACP, 0, shortcutFile, -1, widePath, MAX_PATH) > 0 &&
        SUCCEEDED(file->Save(widePath, TRUE))) {
        result = 1;
    }
    file->Release();
    link->Release();
    platform::CoUninitialize();
    return result;
}
