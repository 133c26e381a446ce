#include <cstring>

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
                // Wine's shell link reads a show command other than 1, 3 or 7 back as 1, as the
                // format tells readers to; what was saved is the header's own field (0x3C).
                link->GetShowCmd(&info.showCommand);
                HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
                BYTE header[0x4C] = {0};
                DWORD got = 0;
                if (::ReadFile(h, header, sizeof header, &got, nullptr) && got == sizeof header)
                    std::memcpy(&info.showCommand, header + 0x3C, 4);
                ::CloseHandle(h);
            }
            file->Release();
        }
        link->Release();
    }
    ::CoUninitialize();
    return info;
}

void RemoveKey(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char name[256];
    for (;;) {
        DWORD size = sizeof name;
        if (::RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        RemoveKey(root, path + "\\" + name);
    }
    ::RegCloseKey(key);
    ::RegDeleteKeyA(root, path.c_str());
}

void PrepareDocumentsFolder() {}
