// Conversions between the machine's ANSI code page, UTF-8 and UTF-16 (iconv).
#include <iconv.h>

#include <cerrno>
#include <string>

#include "platform/host/machine/host.h"

namespace platform::host {
namespace {

std::string AnsiCharset() {
    UINT cp = MachineIsOpen() ? Config().codepage : 932;
    if (cp == 65001) return "UTF-8";
    return "CP" + std::to_string(cp);
}

// Converts `size` bytes at `in` from one charset to another; fails on any invalid sequence.
bool Convert(const char* from, const char* to, const char* in, size_t size, std::string* out) {
    out->clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
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
    iconv_close(cd);
    return ok;
}

}  // namespace

bool AnsiToUtf8(const std::string& ansi, std::string* utf8) {
    return Convert(AnsiCharset().c_str(), "UTF-8", ansi.data(), ansi.size(), utf8);
}

bool Utf8ToAnsi(const std::string& utf8, std::string* ansi) {
    return Convert("UTF-8", AnsiCharset().c_str(), utf8.data(), utf8.size(), ansi);
}

bool Utf16ToAnsi(const char16_t* text, size_t length, std::string* ansi) {
    return Convert("UTF-16LE", AnsiCharset().c_str(), reinterpret_cast<const char*>(text),
                   length * 2, ansi);
}

bool Utf16ToUtf8(const char16_t* text, size_t length, std::string* utf8) {
    return Convert("UTF-16LE", "UTF-8", reinterpret_cast<const char*>(text), length * 2, utf8);
}

bool AnsiToUtf16(const std::string& ansi, std::u16string* text) {
    std::string bytes;
    if (!Convert(AnsiCharset().c_str(), "UTF-16LE", ansi.data(), ansi.size(), &bytes)) return false;
    text->assign(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text->size(); ++i) {
        (*text)[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                           static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return true;
}

bool IsLeadByte(unsigned char c) {
    UINT cp = MachineIsOpen() ? Config().codepage : 932;
    switch (cp) {
    case 932: return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950: return c >= 0x81 && c <= 0xFE;
    default: return false;
    }
}

}  // namespace platform::host
