// outcome_probe: prints, under Windows (or Wine), what the outcome of an update is read from:
// the folders the update uses, as the system names them, the attributes of every file below
// the folders given with --files, and every value of the registry keys named on the command
// line with its exact stored bytes (the wide-character data, so that a string's terminator,
// or its absence, shows). One tab-separated line each, text in UTF-8:
//
//   folder  system|temp|documents  PATH
//   file    PATH                   ATTRIBUTES (hex)
//   key     KEY                    (the key exists)
//   value   KEY  NAME  TYPE  HEX
//
//   outcome_probe [--files FOLDER]... [KEY]...
//
// KEY is written HKLM\... or HKCU\...; a key that does not exist prints nothing.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text, int length) {
    if (length == 0) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], size, nullptr, nullptr);
    return out;
}

std::string Utf8(const wchar_t* text) { return Utf8(text, lstrlenW(text)); }

void PrintFolder(const char* role, const wchar_t* path) { std::printf("folder\t%s\t%s\n", role, Utf8(path).c_str()); }

void PrintFolders() {
    wchar_t path[MAX_PATH + 1] = {0};
    if (GetSystemDirectoryW(path, MAX_PATH) > 0) PrintFolder("system", path);
    path[0] = L'\0';
    if (GetTempPathW(MAX_PATH, path) > 0) PrintFolder("temp", path);
    path[0] = L'\0';
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, path))) PrintFolder("documents", path);
}

// Every file below `folder`, with its attributes, sub-folders included.
void PrintFiles(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName, path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != L"." && name != L"..") PrintFiles(path);
        } else {
            std::printf("file\t%s\t%lx\n", Utf8(path.c_str()).c_str(), static_cast<unsigned long>(found.dwFileAttributes));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void PrintKey(const std::wstring& wide) {
    std::string name = Utf8(wide.c_str());
    HKEY root = nullptr;
    std::wstring sub;
    if (wide.compare(0, 5, L"HKLM\\") == 0) {
        root = HKEY_LOCAL_MACHINE;
        sub = wide.substr(5);
    } else if (wide.compare(0, 5, L"HKCU\\") == 0) {
        root = HKEY_CURRENT_USER;
        sub = wide.substr(5);
    } else {
        std::fprintf(stderr, "outcome_probe: %s is neither HKLM\\... nor HKCU\\...\n", name.c_str());
        return;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    std::printf("key\t%s\n", name.c_str());
    std::vector<wchar_t> valueName(16384);
    std::vector<BYTE> data(65536);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(valueName.size()), size = static_cast<DWORD>(data.size()), type = 0;
        LONG status = RegEnumValueW(key, index, valueName.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            std::fprintf(stderr, "outcome_probe: %s value %lu: error %ld\n", name.c_str(),
                         static_cast<unsigned long>(index), status);
            continue;
        }
        std::string hex;
        char pair[3];
        for (DWORD i = 0; i < size; ++i) {
            std::snprintf(pair, sizeof pair, "%02x", data[i]);
            hex += pair;
        }
        std::printf("value\t%s\t%s\t%lu\t%s\n", name.c_str(), Utf8(valueName.data(), static_cast<int>(nameLength)).c_str(),
                    static_cast<unsigned long>(type), hex.c_str());
    }
    RegCloseKey(key);
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return 1;
    PrintFolders();
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--files") == 0 && i + 1 < argc)
            PrintFiles(argv[++i]);
        else
            PrintKey(argv[i]);
    }
    LocalFree(argv);
    return 0;
}
