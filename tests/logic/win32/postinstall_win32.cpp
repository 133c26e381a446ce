#include <shlwapi.h>

#include "logic/postinstall_support.h"

ShortcutInfo ReadShortcut(const std::string& path) {
    ShortcutInfo info;
    ::CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                     reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            WCHAR wide[MAX_PATH];
            ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
            if (SUCCEEDED(file->Load(wide, STGM_READ))) {
                char text[MAX_PATH * 2];
                int icon = 0;
                info.read = true;
                text[0] = '\0';
                link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
                info.target = text;
                text[0] = '\0';
                link->GetWorkingDirectory(text, sizeof text);
                info.workingDirectory = text;
                text[0] = '\0';
                link->GetArguments(text, sizeof text);
                info.arguments = text;
                text[0] = '\0';
                link->GetDescription(text, sizeof text);
                info.description = text;
                text[0] = '\0';
                link->GetIconLocation(text, sizeof text, &icon);
                info.iconPath = text;
                link->GetShowCmd(&info.showCommand);
            }
            file->Release();
        }
        link->Release();
    }
    ::CoUninitialize();
    return info;
}

void RemoveKey(HKEY root, const std::string& path) { ::SHDeleteKeyA(root, path.c_str()); }

void PrepareDocumentsFolder() {}
