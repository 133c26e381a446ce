// Conversions between the machine's ANSI code page, UTF-8 and UTF-16 (iconv).
#include <iconv.h>
#include <sys/stat.h>

#include <cerrno>
#include <map>
#include <string>
#include <utility>

#include "emulator/machine/host.h"
#include "emulator/machine/machine_state.h"

namespace platform::host {
namespace {

UINT MachineCodepage() { return MachineIsOpen() ? Config().codepage : 932; }

std::string Charset(UINT cp) {
    if (cp == 65001) return "UTF-8";
    return "CP" + std::to_string(cp);
}

std::string AnsiCharset() { return Charset(MachineCodepage()); }

// The upper case of one UTF-16 unit as Windows' own case table gives it for the letters of
// the ANSI code pages: ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic, full-width Latin.
char16_t Upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return c - 0x20;
    if (c < 0x80) return c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        bool oddLower = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
        bool evenLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddLower && (c & 1)) return c - 1;
        if (evenLower && !(c & 1)) return c - 1;
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return c - 0x20;
    if (c == 0x3C2) return 0x3A3;  // final sigma
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;
    return c;
}

// The conversion from one charset to another, opened once and kept: opening one loads the
// charset's module and closing it may unload it again, which costs far more than converting
// a name (a registry file of a few KB made hundreds of such loads). The table outlives every
// static destructor that might still convert.
iconv_t Converter(const char* from, const char* to) {
    static auto* opened = new std::map<std::string, iconv_t>;
    std::string key = std::string(from) + ">" + to;
    auto found = opened->find(key);
    if (found == opened->end()) found = opened->emplace(key, iconv_open(to, from)).first;
    return found->second;
}

// Converts `size` bytes at `in` from one charset to another; fails on any invalid sequence.
bool Convert(const char* from, const char* to, const char* in, size_t size, std::string* out) {
    out->clear();
    iconv_t cd = Converter(from, to);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // the initial state, whatever came before
    char* src = const_cast<char*>(in);
    size_t left = size;
    char buffer[1024];
    bool ok = true;
    while (left > 0) {
        char* dst = buffer;
        size_t room = sizeof buffer;
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out->append(buffer, dst - buffer);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    return ok;
}

// True when every byte of `text` is ASCII (below 0x80).
bool IsAscii(const char* text, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    return true;
}

bool IsAscii(const char16_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (text[i] >= 0x80) return false;
    return true;
}

// True when `cp` gives every ASCII byte its own code point, both ways, as the ANSI code pages
// do; then ASCII text (nearly every name and value) needs no conversion. Asked of iconv once.
bool AsciiIsItself(UINT cp) {
    static auto* known = new std::map<UINT, bool>;
    static UINT lastAsked = 0;
    static bool lastAnswer = false;
    if (cp == lastAsked) return lastAnswer;
    auto found = known->find(cp);
    if (found != known->end()) {
        lastAsked = cp;
        lastAnswer = found->second;
        return lastAnswer;
    }
    std::string ascii, there, back;
    for (int c = 0; c < 0x80; ++c) ascii += static_cast<char>(c);
    std::string charset = Charset(cp);
    bool same = Convert(charset.c_str(), "UTF-8", ascii.data(), ascii.size(), &there) && there == ascii &&
                Convert("UTF-8", charset.c_str(), ascii.data(), ascii.size(), &back) && back == ascii;
    return known->emplace(cp, same).first->second;
}

}  // namespace

bool AsciiIsAnsi() { return AsciiIsItself(MachineCodepage()); }

bool AnsiToUtf8(UINT codepage, const std::string& ansi, std::string* utf8) {
    return Convert(Charset(codepage).c_str(), "UTF-8", ansi.data(), ansi.size(), utf8);
}

bool Utf8ToAnsi(UINT codepage, const std::string& utf8, std::string* ansi) {
    return Convert("UTF-8", Charset(codepage).c_str(), utf8.data(), utf8.size(), ansi);
}

std::string Utf8(const std::string& ansi) {
    std::string utf8;
    AnsiToUtf8(ansi, &utf8);
    return utf8;
}

bool AnsiToUtf8(const std::string& ansi, std::string* utf8) {
    if (IsAscii(ansi.data(), ansi.size()) && AsciiIsItself(MachineCodepage())) {
        *utf8 = ansi;
        return true;
    }
    return Convert(AnsiCharset().c_str(), "UTF-8", ansi.data(), ansi.size(), utf8);
}

bool Utf8ToAnsi(const std::string& utf8, std::string* ansi) {
    if (IsAscii(utf8.data(), utf8.size()) && AsciiIsItself(MachineCodepage())) {
        *ansi = utf8;
        return true;
    }
    return Convert("UTF-8", AnsiCharset().c_str(), utf8.data(), utf8.size(), ansi);
}

bool Utf16ToAnsi(const char16_t* text, size_t length, std::string* ansi) {
    if (IsAscii(text, length) && AsciiIsItself(MachineCodepage())) {
        ansi->assign(text, text + length);
        return true;
    }
    return Convert("UTF-16LE", AnsiCharset().c_str(), reinterpret_cast<const char*>(text),
                   length * 2, ansi);
}

bool Utf16ToUtf8(const char16_t* text, size_t length, std::string* utf8) {
    if (IsAscii(text, length)) {
        utf8->assign(text, text + length);
        return true;
    }
    return Convert("UTF-16LE", "UTF-8", reinterpret_cast<const char*>(text), length * 2, utf8);
}

bool AnsiToUtf16(const std::string& ansi, std::u16string* text) {
    if (IsAscii(ansi.data(), ansi.size()) && AsciiIsItself(MachineCodepage())) {
        text->assign(ansi.begin(), ansi.end());
        return true;
    }
    std::string bytes;
    if (!Convert(AnsiCharset().c_str(), "UTF-16LE", ansi.data(), ansi.size(), &bytes)) return false;
    text->assign(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text->size(); ++i) {
        (*text)[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                           static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return true;
}

bool IsLeadByte(unsigned char c) { return IsLeadByte(MachineCodepage(), c); }

bool IsLeadByte(UINT cp, unsigned char c) {
    switch (cp) {
    case 932: return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950: return c >= 0x81 && c <= 0xFE;
    default: return false;
    }
}

bool EndsWithBackslash(UINT codepage, const std::string& ansi) {
    bool last = false;
    for (size_t i = 0; i < ansi.size(); ++i) {
        if (IsLeadByte(codepage, static_cast<unsigned char>(ansi[i])) && i + 1 < ansi.size()) {
            ++i;
            last = false;
        } else {
            last = ansi[i] == '\\';
        }
    }
    return last;
}

bool EndsWithBackslash(const std::string& ansi) { return EndsWithBackslash(MachineCodepage(), ansi); }

std::u16string Utf16KeepingBytes(const std::string& ansi, bool (*convert)(const std::string&, std::u16string*)) {
    std::u16string units;
    if (convert(ansi, &units)) return units;
    units.clear();
    for (size_t i = 0; i < ansi.size();) {
        size_t n = IsLeadByte(static_cast<unsigned char>(ansi[i])) && i + 1 < ansi.size() ? 2 : 1;
        std::u16string one;
        if (convert(ansi.substr(i, n), &one)) {
            units += one;
        } else {
            for (size_t k = 0; k < n; ++k)
                units += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(ansi[i + k]));
        }
        i += n;
    }
    return units;
}

std::u16string FoldName(const std::string& ansi) {
    std::u16string units = Utf16KeepingBytes(ansi, AnsiToUtf16);
    for (char16_t& u : units) u = Upper(u);
    return units;
}

bool SameName(const std::string& a, const std::string& b) { return a == b || FoldName(a) == FoldName(b); }

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

BOOL Result(DWORD error) {
    if (error == ERROR_SUCCESS) return TRUE;
    SetError(error);
    return FALSE;
}

}  // namespace platform::host
