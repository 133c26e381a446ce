#include "tools/vkmachine/edit_commands.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/files.h"
#include "emulator/machine/host.h"
#include "emulator/registry/registry_store.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "tools/vkmachine/machine_files.h"

const char kEditUsage[] =
    "       vkmachine attrib DIR PATH +r|-r|+h|-h|+s|-s|+a|-a...\n"
    "                                        set or clear a file's or folder's attributes\n"
    "                                        (attributes is the same command)\n"
    "       vkmachine put DIR PATH --text TEXT | --hex HH,HH,... | --size N [--text FILL]\n"
    "                                        write a file (and the folders above it): the text in\n"
    "                                        the machine's code page, these bytes, or N bytes of\n"
    "                                        FILL repeated (x when no FILL)\n"
    "       vkmachine mkdir DIR PATH         make a folder and the folders above it\n"
    "       vkmachine remove DIR PATH        remove a file, or a folder with all it holds\n"
    "       vkmachine set-value DIR KEY NAME TYPE DATA\n"
    "                                        set a registry value (the key made when missing)\n"
    "       vkmachine remove-value DIR KEY NAME\n"
    "       vkmachine remove-key DIR KEY     remove a key with its values and subkeys\n"
    "\n"
    "PATH is a full Windows path (UTF-8), such as \"C:\\Program Files\\Orvane\\Velkor TARN\\VKTARN.INI\".\n"
    "KEY starts with HKLM\\ or HKCU\\ (or HKEY_LOCAL_MACHINE\\, HKEY_CURRENT_USER\\); NAME \"\" or @ is\n"
    "the key's default value. TYPE is REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD,\n"
    "REG_QWORD, REG_NONE or a number. DATA is one of:\n"
    "  --text TEXT      the text in the machine's code page with its NUL; for REG_MULTI_SZ once per\n"
    "                   string, and the NUL that ends the list follows\n"
    "  --hex HH,HH,...  exactly these bytes (\"\" for none)\n"
    "  --number N       a 32-bit number, 4 bytes little-endian (0x... for hexadecimal)\n"
    "  --size N         N bytes: the --text given with it (without its NUL) repeated, or x\n";

namespace {

namespace host = platform::host;

struct Failure {
    int code;
    std::string why;
};

int Report(const Failure& f) {
    if (f.code == 2) return UsageError(f.why);
    std::cerr << "vkmachine: " << f.why << "\n";
    return f.code;
}

bool HexBytes(const std::string& text, std::string* bytes) {
    bytes->clear();
    size_t i = 0;
    while (i < text.size()) {
        size_t comma = text.find(',', i);
        if (comma == std::string::npos) comma = text.size();
        std::string item = text.substr(i, comma - i);
        unsigned long long b = 0;
        if (item.empty() || item.size() > 2 || !Number("0x" + item, 0xFF, &b)) return false;
        bytes->push_back(static_cast<char>(b));
        i = comma + 1;
    }
    return true;
}

// The data of put and set-value from its options; `multi` takes --text once per string.
bool Data(const std::vector<std::string>& args, size_t from, bool nulTerminated, bool multi, std::string* data,
          Failure* f) {
    std::vector<std::string> texts;
    const std::string* hex = nullptr;
    const std::string* number = nullptr;
    const std::string* size = nullptr;
    for (size_t i = from; i < args.size(); i += 2) {
        const std::string& option = args[i];
        bool known = option == "--text" || option == "--hex" || option == "--number" || option == "--size";
        if (!known || i + 1 >= args.size()) {
            *f = {2, known                             ? "option " + option + " needs a value"
                     : option.compare(0, 2, "--") == 0 ? "unknown option " + option
                                                       : "unexpected argument \"" + option + "\""};
            return false;
        }
        const std::string& value = args[i + 1];
        std::string ansi;
        if (option == "--text" && !host::Utf8ToAnsi(value, &ansi)) {
            *f = {2, "the text \"" + value + "\" has characters the machine's code page lacks"};
            return false;
        }
        const std::string** once = option == "--hex" ? &hex : option == "--number" ? &number : &size;
        if (option != "--text" && *once != nullptr) {
            *f = {2, "give the data once: " + option + " twice"};
            return false;
        }
        if (option == "--text")
            texts.push_back(ansi);
        else
            *once = &value;
    }
    int kinds = (texts.empty() ? 0 : 1) + (hex ? 1 : 0) + (number ? 1 : 0) + (size ? 1 : 0);
    unsigned long long n = 0;
    data->clear();
    if (size != nullptr) {
        if (kinds > (texts.empty() ? 1 : 2) || texts.size() > 1) {
            *f = {2, "give the data once: --size takes at most one --text as its fill, and no --hex or --number"};
            return false;
        }
        if (!Number(*size, 64u << 20, &n)) {
            *f = {2, "--size needs a number of bytes up to 64 MB, not \"" + *size + "\""};
            return false;
        }
        std::string fill = texts.empty() || texts[0].empty() ? "x" : texts[0];
        while (data->size() < n) data->append(fill, 0, static_cast<size_t>(n) - data->size());
        return true;
    }
    if (kinds != 1 || (texts.size() > 1 && !multi)) {
        *f = {2, "give the data once: --text, --hex, --number or --size"};
        return false;
    }
    if (hex != nullptr && !HexBytes(*hex, data)) {
        *f = {2, "--hex needs bytes such as 00,5c,ff, not \"" + *hex + "\""};
        return false;
    }
    if (number != nullptr) {
        if (!Number(*number, 0xFFFFFFFFull, &n)) {
            *f = {2, "--number needs a 32-bit number, not \"" + *number + "\""};
            return false;
        }
        for (int i = 0; i < 4; ++i) data->push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    }
    for (const std::string& t : texts) {
        data->append(t);
        if (nulTerminated) data->push_back('\0');
    }
    if (multi && !texts.empty()) data->push_back('\0');
    return true;
}

bool ValueType(const std::string& text, DWORD* type) {
    static const struct {
        const char* name;
        DWORD type;
    } kTypes[] = {{"REG_NONE", REG_NONE},         {"REG_SZ", REG_SZ},       {"REG_EXPAND_SZ", REG_EXPAND_SZ},
                  {"REG_BINARY", REG_BINARY},     {"REG_DWORD", REG_DWORD}, {"REG_MULTI_SZ", REG_MULTI_SZ},
                  {"REG_QWORD", 11}};
    for (const auto& t : kTypes) {
        if (text == t.name) {
            *type = t.type;
            return true;
        }
    }
    unsigned long long n = 0;
    if (!Number(text, 0xFFFFFFFFull, &n)) return false;
    *type = static_cast<DWORD>(n);
    return true;
}

// A key given as HKLM\... or HKCU\...: its root and the path below it (machine code page).
struct Key {
    HKEY root = nullptr;
    int rootIndex = 0;
    std::string below;
};

bool KeyPath(const std::string& utf8, Key* key) {
    static const struct {
        const char* name;
        HKEY root;
        int index;
    } kRoots[] = {{"HKLM", HKEY_LOCAL_MACHINE, host::kLocalMachine},
                  {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, host::kLocalMachine},
                  {"HKCU", HKEY_CURRENT_USER, host::kCurrentUser},
                  {"HKEY_CURRENT_USER", HKEY_CURRENT_USER, host::kCurrentUser}};
    size_t slash = utf8.find('\\');
    std::string head = utf8.substr(0, slash);
    for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto& r : kRoots) {
        if (head != r.name) continue;
        key->root = r.root;
        key->rootIndex = r.index;
        return slash != std::string::npos && host::Utf8ToAnsi(utf8.substr(slash + 1), &key->below) &&
               !key->below.empty();
    }
    return false;
}

std::string ValueName(const std::string& utf8) {
    std::string ansi;
    if (utf8 == "@") return "";
    host::Utf8ToAnsi(utf8, &ansi);
    return ansi;
}

Failure SetValue(const std::vector<std::string>& args, const Key& key) {
    std::string data;
    DWORD type = 0;
    if (!ValueType(args[3], &type)) return {2, "not a value type: " + args[3]};
    Failure f{0, ""};
    bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (!Data(args, 4, text, type == REG_MULTI_SZ, &data, &f)) return f;
    HKEY k = nullptr;
    LONG r = platform::RegCreateKeyExA(key.root, key.below.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS, nullptr, &k, nullptr);
    if (r == ERROR_SUCCESS) {
        // Exactly these bytes: the NT family would count a NUL that followed them as part of a
        // string, so none follows.
        std::string bytes = data + 'x';
        r = platform::RegSetValueExA(k, ValueName(args[2]).c_str(), 0, type,
                                     reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(data.size()));
        platform::RegCloseKey(k);
    }
    if (r != ERROR_SUCCESS) return {1, "cannot set " + args[1] + " \"" + args[2] + "\": " + host::ErrorText(r, "no such key")};
    return {0, ""};
}

Failure RemoveValue(const std::vector<std::string>& args, const Key& key) {
    HKEY k = nullptr;
    LONG r = platform::RegOpenKeyExA(key.root, key.below.c_str(), 0, KEY_ALL_ACCESS, &k);
    const char* missing = "no such key";
    if (r == ERROR_SUCCESS) {
        r = platform::RegDeleteValueA(k, ValueName(args[2]).c_str());
        platform::RegCloseKey(k);
        missing = "no such value";
    }
    if (r != ERROR_SUCCESS) return {1, "cannot remove " + args[1] + " \"" + args[2] + "\": " + host::ErrorText(r, missing)};
    return {0, ""};
}

Failure RemoveKey(const std::vector<std::string>& args, const Key& key) {
    host::RegChange change;
    change.kind = host::RegChange::kDeleteKey;
    change.root = key.rootIndex;
    if (host::RegSplitPath(key.below.c_str(), &change.path) != ERROR_SUCCESS || change.path.empty())
        return {2, "not a key path: " + args[1]};
    DWORD r = host::ChangeRegistry([&](const host::RegTree& tree, std::vector<host::RegChange>* changes) -> DWORD {
        if (host::RegFindKey(tree, key.rootIndex, change.path) == nullptr) return ERROR_FILE_NOT_FOUND;
        changes->push_back(change);
        return ERROR_SUCCESS;
    });
    if (r != ERROR_SUCCESS) return {1, "cannot remove key " + args[1] + ": " + host::ErrorText(r, "no such key")};
    return {0, ""};
}

// set-value DIR KEY NAME TYPE DATA..., remove-value DIR KEY NAME, remove-key DIR KEY.
Failure RegistryCommand(const std::string& command, const std::vector<std::string>& args) {
    static const struct {
        const char* command;
        size_t words;  // at least, for set-value; exactly, for the others
        const char* usage;
    } kForms[] = {{"set-value", 5, "DIR KEY NAME TYPE and the data"},
                  {"remove-value", 3, "DIR KEY NAME"},
                  {"remove-key", 2, "DIR KEY"}};
    for (const auto& form : kForms) {
        if (command != form.command) continue;
        bool counted = command == "set-value" ? args.size() >= form.words : args.size() == form.words;
        if (!counted) return {2, command + " needs " + form.usage};
        Key key;
        if (!KeyPath(args[1], &key)) return {2, "not a key below HKLM or HKCU: " + args[1]};
        return command == "set-value" ? SetValue(args, key) : command == "remove-value" ? RemoveValue(args, key)
                                                                                        : RemoveKey(args, key);
    }
    return {2, "unknown command " + command};
}

Failure Attrib(const std::vector<std::string>& args, const std::string& path) {
    static const struct {
        char letter;
        DWORD bit;
    } kBits[] = {{'r', FILE_ATTRIBUTE_READONLY},
                 {'h', FILE_ATTRIBUTE_HIDDEN},
                 {'s', FILE_ATTRIBUTE_SYSTEM},
                 {'a', FILE_ATTRIBUTE_ARCHIVE}};
    if (args.size() < 3) return {2, "attrib needs DIR PATH and at least one of +r -r +h -h +s -s +a -a"};
    DWORD bits = platform::GetFileAttributesA(path.c_str());
    if (bits == INVALID_FILE_ATTRIBUTES)
        return {1, args[1] + ": " + host::ErrorText(platform::GetLastError(), "no such file or folder")};
    bits &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool known = false;
        for (const auto& b : kBits) {
            if (a.size() != 2 || (a[0] != '+' && a[0] != '-') || std::tolower(static_cast<unsigned char>(a[1])) != b.letter)
                continue;
            bits = a[0] == '+' ? bits | b.bit : bits & ~b.bit;
            known = true;
        }
        if (!known) return {2, "not an attribute change: " + a};
    }
    if (!platform::SetFileAttributesA(path.c_str(), bits == 0 ? FILE_ATTRIBUTE_NORMAL : bits))
        return {1, "cannot set the attributes of " + args[1] + ": " + host::ErrorText(platform::GetLastError())};
    return {0, ""};
}

// Removes a file, or a folder with all it holds, clearing attributes that would refuse it.
bool Remove(const std::string& path, std::string* error) {
    DWORD bits = platform::GetFileAttributesA(path.c_str());
    if (bits == INVALID_FILE_ATTRIBUTES) {
        *error = host::Utf8(path) + ": " + host::ErrorText(platform::GetLastError(), "no such file or folder");
        return false;
    }
    if (bits & FILE_ATTRIBUTE_READONLY) platform::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (bits & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAA found;
        HANDLE search = platform::FindFirstFileA((path + "\\*").c_str(), &found);
        bool ok = true;
        while (ok && search != INVALID_HANDLE_VALUE) {
            if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
                ok = Remove(path + "\\" + found.cFileName, error);
            if (!platform::FindNextFileA(search, &found)) break;
        }
        if (search != INVALID_HANDLE_VALUE) platform::FindClose(search);
        if (!ok) return false;
    }
    BOOL removed = (bits & FILE_ATTRIBUTE_DIRECTORY) ? platform::RemoveDirectoryA(path.c_str())
                                                     : platform::DeleteFileA(path.c_str());
    if (!removed)
        *error = "cannot remove " + host::Utf8(path) + ": " + host::ErrorText(platform::GetLastError());
    return removed != 0;
}

Failure FileCommand(const std::string& command, const std::vector<std::string>& args) {
    std::string path, error;
    if (args.size() < 2) return {2, command + " needs DIR and a Windows path"};
    if (!MachinePath(args[1], &path) || host::EndsWithBackslash(path))
        return {2, "not a full Windows path below a drive root: " + args[1]};
    if (command == "attrib") return Attrib(args, path);
    if (command == "mkdir" || command == "remove") {
        if (args.size() != 2) return {2, command + " needs DIR PATH only"};
        bool ok = command == "mkdir" ? MakeFolders(path, &error) : Remove(path, &error);
        return ok ? Failure{0, ""} : Failure{1, error};
    }
    std::string data;
    Failure f{0, ""};
    if (!Data(args, 2, false, false, &data, &f)) return f;
    if (!MakeFolders(ParentFolder(path), &error) || !WriteWholeFile(path, data, &error)) return {1, error};
    return {0, ""};
}

}  // namespace

bool EditCommand(const std::string& command, const std::vector<std::string>& args, int* code) {
    static const char* const kCommands[] = {"attrib", "put", "mkdir", "remove", "set-value", "remove-value",
                                            "remove-key"};
    bool known = false;
    for (const char* c : kCommands) known = known || command == c;
    if (!known) return false;
    if (args.empty() || args[0].compare(0, 2, "--") == 0) {
        *code = Report({2, command + " needs a machine folder"});
        return true;
    }
    std::string error;
    if (!host::OpenMachine(args[0], &error)) {
        *code = Report({1, error});
        return true;
    }
    Failure f = command.compare(0, 4, "set-") == 0 || command.compare(0, 7, "remove-") == 0
                    ? RegistryCommand(command, args)
                    : FileCommand(command, args);
    host::CloseMachine();
    *code = f.code == 0 ? 0 : Report(f);
    return true;
}
