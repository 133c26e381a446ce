// Resource and string-table calls over the module's embedded .res (module_resources.h).
// A resource handle (HRSRC) is the address of the module's entry; the loaded resource
// (HGLOBAL) is the address of its bytes, read-only as on Windows.
#include <string>

#include "emulator/machine/host.h"
#include "emulator/machine/machine_state.h"
#include "platform/resources.h"
#include "emulator/resources/module_resources.h"

namespace platform {
namespace {

// The usual load address of a Windows executable: recognisable, and never a real pointer.
const HINSTANCE kModule = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(0x00400000));

// A null module means the program's own, as on Windows.
bool OwnModule(HMODULE module) { return module == nullptr || module == kModule; }

// A type or name as the A calls take it: an integer, "#123", or a name, which Windows
// stores and matches in upper case.
bool ToResName(LPCSTR value, host::ResName* name) {
    if (IS_INTRESOURCE(value)) {
        name->ordinal = LOWORD(reinterpret_cast<ULONG_PTR>(value));
        return true;
    }
    if (value[0] == '#') {
        unsigned long n = 0;
        const char* p = value + 1;
        for (; *p >= '0' && *p <= '9' && n <= 0xFFFF; ++p) n = n * 10 + static_cast<unsigned long>(*p - '0');
        if (*p != '\0' || p == value + 1 || n > 0xFFFF) return false;
        name->ordinal = static_cast<WORD>(n);
        return true;
    }
    if (!host::AnsiToUtf16(value, &name->text)) return false;
    for (char16_t& c : name->text)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    name->isString = true;
    return true;
}

const host::ResEntry* FromHandle(HRSRC resource) {
    for (const host::ResEntry& e : host::ModuleResources())
        if (reinterpret_cast<const void*>(&e) == reinterpret_cast<const void*>(resource)) return &e;
    return nullptr;
}

WORD ReadWord(const BYTE* p) { return static_cast<WORD>(p[0] | p[1] << 8); }

// Entry `index` (0-15) of a string block: 16 strings, each a count of UTF-16 units and the
// units. False when the block is shorter than its counts say.
bool BlockString(const host::ResEntry& block, unsigned index, std::u16string* text) {
    DWORD at = 0;
    for (unsigned i = 0;; ++i) {
        if (block.size - at < 2) return false;
        DWORD length = ReadWord(block.data + at);
        at += 2;
        if (block.size - at < 2 * length) return false;
        if (i == index) {
            text->clear();
            for (DWORD k = 0; k < length; ++k) text->push_back(static_cast<char16_t>(ReadWord(block.data + at + 2 * k)));
            return true;
        }
        at += 2 * length;
    }
}

// Converts `text` to the machine's code page into at most `room` bytes, whole characters
// only; a character the code page cannot hold becomes '?', as WideCharToMultiByte does.
std::string ToAnsiBounded(const std::u16string& text, size_t room) {
    std::string all;
    if (host::Utf16ToAnsi(text.data(), text.size(), &all) && all.size() <= room) return all;
    std::string out;
    for (size_t i = 0; i < text.size();) {
        size_t units = 1;
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            units = 2;
        std::string one;
        if (!host::Utf16ToAnsi(text.data() + i, units, &one) || one.empty()) one = "?";
        if (out.size() + one.size() > room) break;
        out += one;
        i += units;
    }
    return out;
}

}  // namespace

namespace host {
HINSTANCE ModuleHandle() { return kModule; }
}  // namespace host

HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
    DWORD error = 0;
    if (host::InjectedFailure(host::Call::FindResourceExA)) return nullptr;
    if (!OwnModule(module)) {
        host::SetError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    host::ResName typeName, resourceName;
    if (type == nullptr || name == nullptr || !ToResName(type, &typeName) || !ToResName(name, &resourceName)) {
        host::SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const host::ResEntry* entry = host::FindModuleResource(typeName, resourceName, language, &error);
    if (entry == nullptr) {
        host::SetError(error);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<host::ResEntry*>(entry));
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    if (host::InjectedFailure(host::Call::LoadResource)) return nullptr;
    const host::ResEntry* entry = FromHandle(resource);
    if (!OwnModule(module) || entry == nullptr) {
        host::SetError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<BYTE*>(entry->data);
}

LPVOID LockResource(HGLOBAL data) {
    DWORD error = 0;
    if (host::Injected(host::Call::LockResource, &error)) return nullptr;
    return data;
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    if (host::InjectedFailure(host::Call::SizeofResource)) return 0;
    const host::ResEntry* entry = FromHandle(resource);
    if (!OwnModule(module) || entry == nullptr) {
        host::SetError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return entry->size;
}

int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int size) {
    DWORD error = 0;
    bool injected = host::Injected(host::Call::LoadStringA, &error);
    if (buffer == nullptr || size <= 0) {
        host::SetError(injected ? error : ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = '\0';
    if (injected) {
        host::SetError(error);
        return 0;
    }
    if (!OwnModule(module)) {
        host::SetError(ERROR_INVALID_HANDLE);
        return 0;
    }
    // Strings are kept sixteen to a block; block n + 1 holds ids 16n to 16n + 15.
    WORD number = LOWORD(id);
    const host::ResEntry* block = host::FindModuleResource(6, static_cast<WORD>((number >> 4) + 1), 0, &error);
    if (block == nullptr) {
        host::SetError(error);
        return 0;
    }
    std::u16string text;
    if (!BlockString(*block, number & 15, &text)) {
        host::SetError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    std::string ansi = ToAnsiBounded(text, static_cast<size_t>(size) - 1);
    ansi.copy(buffer, ansi.size());
    buffer[ansi.size()] = '\0';
    return static_cast<int>(ansi.size());
}

HBITMAP LoadBitmapA(HINSTANCE module, LPCSTR name) {
    DWORD error = 0;
    if (host::InjectedFailure(host::Call::LoadBitmapA)) return nullptr;
    if (!OwnModule(module)) {
        host::SetError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    host::ResName bitmapName;
    if (name == nullptr || !ToResName(name, &bitmapName)) {
        host::SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    host::ResName bitmapType;
    bitmapType.ordinal = 2;  // RT_BITMAP
    if (host::FindModuleResource(bitmapType, bitmapName, 0, &error) == nullptr) {
        host::SetError(error);
        return nullptr;
    }
    return host::NewBitmap();  // the host draws nothing; DeleteObject releases it
}

}  // namespace platform
