// The registry file codec.
//
// In memory a value holds exactly the bytes the program stored, in the machine's ANSI code page
// (932 unless machine.ini says otherwise). The file is regedit's text format in UTF-8, and every
// value is written so that reading it back gives the same type and the same bytes:
//
//   "name"="text"    a REG_SZ whose bytes are text with one terminating NUL and no other, no line
//                    break, and that converts to UTF-8 and back to the same bytes;
//   dword:0000002a   a REG_DWORD of exactly 4 bytes;
//   hex(1): hex(2): hex(7):
//                    every other REG_SZ, every REG_EXPAND_SZ and REG_MULTI_SZ, as UTF-16LE as
//                    regedit writes them, with the length kept as it is: a 6-byte "Filter" with
//                    no NUL is 12 bytes of UTF-16, an empty value with no bytes is "hex(1):" with
//                    none. Raw ANSI bytes would not read back a file regedit wrote, and UTF-16
//                    alone loses bytes that do not convert to it and back unchanged (a lone lead
//                    byte, a character the code page has two codes for); each such byte is
//                    written as the unpaired low surrogate U+DC00+byte, which no text converts
//                    to, and read back as that byte. So every byte sequence survives.
//   hex:             REG_BINARY;
//   hex(N):          any other type, or a REG_DWORD of another length, as its bytes are.
//
// Long hex data is continued on the next line after a backslash, as regedit does.
#include "platform/host/registry/regfile.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/host/machine/host.h"

namespace platform::host {
namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00";
const size_t kLineWidth = 80;

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

// Converts to UTF-8, true only when converting back gives the same bytes.
bool ToUtf8Exactly(const std::string& ansi, std::string* utf8) {
    std::string back;
    return AnsiToUtf8(ansi, utf8) && Utf8ToAnsi(*utf8, &back) && back == ansi;
}

bool ToUtf16Exactly(const std::string& ansi, std::u16string* units) {
    std::string back;
    return AnsiToUtf16(ansi, units) && Utf16ToAnsi(units->data(), units->size(), &back) && back == ansi;
}

bool IsEscapeUnit(const std::u16string& units, size_t i) {
    char16_t u = units[i];
    bool pairedLow = i > 0 && units[i - 1] >= 0xD800 && units[i - 1] <= 0xDBFF;
    return u >= 0xDC00 && u <= 0xDCFF && !pairedLow;
}

// ANSI bytes of a string value to the UTF-16 code units written to the file.
std::u16string StringUnits(const std::string& ansi) {
    std::u16string units;
    if (ToUtf16Exactly(ansi, &units)) return units;
    // Character by character: what does not survive the round trip is escaped byte by byte.
    units.clear();
    for (size_t i = 0; i < ansi.size();) {
        size_t n = IsLeadByte(static_cast<unsigned char>(ansi[i])) && i + 1 < ansi.size() ? 2 : 1;
        std::u16string one;
        if (ToUtf16Exactly(ansi.substr(i, n), &one)) {
            units += one;
        } else {
            for (size_t k = 0; k < n; ++k)
                units += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(ansi[i + k]));
        }
        i += n;
    }
    return units;
}

// The reverse of StringUnits; false when some text has no form in the code page.
bool StringFromUnits(const std::u16string& units, std::string* ansi) {
    ansi->clear();
    size_t start = 0;
    for (size_t i = 0; i <= units.size(); ++i) {
        bool escape = i < units.size() && IsEscapeUnit(units, i);
        if (i < units.size() && !escape) continue;
        std::string run;
        if (i > start && !Utf16ToAnsi(units.data() + start, i - start, &run)) return false;
        *ansi += run;
        if (escape) *ansi += static_cast<char>(units[i] - 0xDC00);
        start = i + 1;
    }
    return true;
}

std::string Quote(const std::string& utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string HexByte(unsigned char b) {
    char text[3];
    std::snprintf(text, sizeof text, "%02x", b);
    return text;
}

// Appends `head` followed by the bytes as "xx,xx,...", continued over lines of kLineWidth.
void AppendHex(std::string* out, const std::string& head, const std::string& bytes) {
    std::string line = head;
    bool bytesOnLine = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::string item = HexByte(static_cast<unsigned char>(bytes[i]));
        if (i + 1 < bytes.size()) item += ',';
        if (bytesOnLine && line.size() + item.size() + 1 > kLineWidth) {
            *out += line + "\\\n";
            line = "  ";
        }
        line += item;
        bytesOnLine = true;
    }
    *out += line + "\n";
}

bool FormatValue(const RegValue& value, std::string* out, std::string* error) {
    std::string head;
    if (value.name.empty()) {
        head = "@=";
    } else {
        std::string name;
        if (!RegNameStorable(value.name) || !ToUtf8Exactly(value.name, &name)) {
            *error = "a value name cannot be written to the registry file";
            return false;
        }
        head = Quote(name) + "=";
    }
    const std::string& data = value.data;
    if (value.type == REG_SZ && !data.empty() && data.find('\0') == data.size() - 1) {
        std::string text;
        std::string body = data.substr(0, data.size() - 1);
        if (!HasLineBreak(body) && ToUtf8Exactly(body, &text)) {
            *out += head + Quote(text) + "\n";
            return true;
        }
    }
    if (value.type == REG_DWORD && data.size() == 4) {
        char text[16];
        unsigned long v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data[i]);
        std::snprintf(text, sizeof text, "dword:%08lx", v);
        *out += head + text + "\n";
        return true;
    }
    if (value.type == REG_BINARY) {
        AppendHex(out, head + "hex:", data);
        return true;
    }
    char type[24];
    std::snprintf(type, sizeof type, "hex(%lx):", static_cast<unsigned long>(value.type));
    if (!IsStringType(value.type)) {
        AppendHex(out, head + type, data);
        return true;
    }
    std::u16string units = StringUnits(data);
    std::string bytes;
    for (char16_t u : units) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    AppendHex(out, head + type, bytes);
    return true;
}

bool FormatKey(const RegKey& key, const std::string& path, bool isRoot, std::string* out,
               std::string* error) {
    if (!isRoot || !key.values.empty()) {
        *out += "[" + path + "]\n";
        for (const RegValue& value : key.values)
            if (!FormatValue(value, out, error)) return false;
        *out += "\n";
    }
    for (const RegKey& sub : key.subkeys) {
        std::string name;
        if (!RegNameStorable(sub.name) || !ToUtf8Exactly(sub.name, &name)) {
            *error = "a key name below " + path + " cannot be written to the registry file";
            return false;
        }
        if (!FormatKey(sub, path + "\\" + name, false, out, error)) return false;
    }
    return true;
}

// ---- Reading ----

std::string TrimRight(const std::string& s) {
    size_t end = s.find_last_not_of(" \t\r");
    return end == std::string::npos ? "" : s.substr(0, end + 1);
}

std::string TrimLeft(const std::string& s) {
    size_t begin = s.find_first_not_of(" \t");
    return begin == std::string::npos ? "" : s.substr(begin);
}

bool EqualNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return i == a.size() && b[i] == '\0';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses exactly `digits` hex digits making up all of `text` (the writer's fixed widths).
bool ParseHexNumber(const std::string& text, size_t digits, unsigned long* value) {
    if (text.size() != digits) return false;
    *value = 0;
    for (char c : text) {
        int d = HexDigit(c);
        if (d < 0) return false;
        *value = (*value << 4) | static_cast<unsigned long>(d);
    }
    return true;
}

// Parses "xx,xx,..." (a trailing comma allowed) into bytes.
bool ParseHexBytes(const std::string& text, std::string* bytes, std::string* why) {
    bytes->clear();
    std::string rest = TrimRight(TrimLeft(text));
    if (rest.empty()) return true;
    if (rest.back() == ',') rest.pop_back();
    size_t start = 0;
    for (;;) {
        size_t comma = rest.find(',', start);
        std::string item = TrimRight(TrimLeft(rest.substr(start, comma - start)));
        unsigned long b = 0;
        if (!ParseHexNumber(item, 2, &b)) {
            *why = "\"" + item + "\" is not a hex byte (two hex digits)";
            return false;
        }
        *bytes += static_cast<char>(b);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

// Parses a quoted string starting at line[*pos] == '"' with \\ and \" escapes.
bool ParseQuoted(const std::string& line, size_t* pos, std::string* text, std::string* why) {
    text->clear();
    for (size_t i = *pos + 1; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= line.size() || (line[i + 1] != '\\' && line[i + 1] != '"')) {
                *why = "unknown escape in a string (only \\\\ and \\\" are known)";
                return false;
            }
            c = line[++i];
        }
        *text += c;
    }
    *why = "string without its closing quote";
    return false;
}

class Parser {
public:
    Parser(const std::string& file, RegTree* tree) : file_(file), tree_(tree) {}

    bool Parse(const std::string& text, std::string* error) {
        std::vector<std::string> lines;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            lines.push_back(TrimRight(text.substr(start, end - start)));
            start = end + 1;
        }
        for (size_t i = 0; i < lines.size(); ++i) {
            line_ = static_cast<int>(i + 1);
            std::string line = TrimLeft(lines[i]);
            if (i == 0) {
                if (line != kHeader) return Fail("expected \"" + std::string(kHeader) + "\"", error);
                continue;
            }
            if (line.empty() || line[0] == ';') continue;
            while (!line.empty() && line.back() == '\\') {
                if (i + 1 >= lines.size()) return Fail("continued line at the end of the file", error);
                line.pop_back();
                line += TrimLeft(lines[++i]);
            }
            bool ok = line[0] == '[' ? KeyLine(line) : ValueLine(line);
            if (!ok) return Fail(why_, error);
        }
        // Every whole file ends with a blank line (the writer's and regedit's): one without it
        // was cut off.
        if (lines.size() < 3 || !lines.back().empty() || !lines[lines.size() - 2].empty()) {
            line_ = static_cast<int>(lines.size());
            return Fail("the file does not end with a blank line: it was cut off", error);
        }
        return true;
    }

private:
    bool Fail(const std::string& why, std::string* error) {
        *error = file_ + ":" + std::to_string(line_) + ": " + why;
        return false;
    }

    bool NameFromFile(const std::string& utf8, const char* what, std::string* ansi) {
        if (!Utf8ToAnsi(utf8, ansi) || !RegNameStorable(*ansi)) {
            why_ = std::string(what) + " \"" + utf8 + "\" cannot be written in code page " +
                   std::to_string(Config().codepage);
            return false;
        }
        return true;
    }

    bool KeyLine(const std::string& line) {
        if (line.back() != ']') return Why("key line without its closing ']'");
        std::string path = line.substr(1, line.size() - 2);
        if (!path.empty() && path[0] == '-') return Why("removing keys ([-...]) is not supported");
        std::vector<std::string> names;
        size_t start = 0;
        for (;;) {
            size_t slash = path.find('\\', start);
            names.push_back(path.substr(start, slash - start));
            if (slash == std::string::npos) break;
            start = slash + 1;
        }
        int root = -1;
        if (EqualNoCase(names[0], "HKEY_LOCAL_MACHINE") || EqualNoCase(names[0], "HKLM"))
            root = kLocalMachine;
        if (EqualNoCase(names[0], "HKEY_CURRENT_USER") || EqualNoCase(names[0], "HKCU")) root = kCurrentUser;
        if (root < 0)
            return Why("unknown root key \"" + names[0] +
                       "\" (known: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER)");
        key_ = &tree_->roots[root];
        keyText_ = path;
        for (size_t i = 1; i < names.size(); ++i) {
            if (names[i].empty()) return Why("empty key name in [" + path + "]");
            std::string ansi;
            if (!NameFromFile(names[i], "key name", &ansi)) return false;
            bool created = false;
            key_ = key_->AddSubkey(ansi, &created);
        }
        return true;
    }

    bool ValueLine(const std::string& line) {
        if (key_ == nullptr) return Why("value before the first [key] line");
        size_t pos = 0;
        std::string nameUtf8, name;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] == '"') {
            if (!ParseQuoted(line, &pos, &nameUtf8, &why_)) return false;
            if (!NameFromFile(nameUtf8, "value name", &name)) return false;
        } else {
            return Why("expected a [key] line or \"name\"=value");
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size() || line[pos] != '=') return Why("expected '=' after the value name");
        std::string data = TrimLeft(line.substr(pos + 1));
        RegValue value;
        value.name = name;
        if (!ValueData(data, &value)) return false;
        if (key_->FindValue(name) != nullptr)
            return Why("value \"" + nameUtf8 + "\" appears twice in [" + keyText_ + "]");
        key_->values.push_back(value);
        return true;
    }

    bool ValueData(const std::string& data, RegValue* value) {
        if (!data.empty() && data[0] == '"') {
            size_t pos = 0;
            std::string text;
            if (!ParseQuoted(data, &pos, &text, &why_)) return false;
            if (pos != data.size()) return Why("unexpected text after the string");
            if (!Utf8ToAnsi(text, &value->data))
                return Why("string cannot be written in code page " + std::to_string(Config().codepage));
            value->type = REG_SZ;
            value->data += '\0';
            return true;
        }
        if (data == "-") return Why("removing values (=-) is not supported");
        if (data.compare(0, 6, "dword:") == 0) {
            unsigned long v = 0;
            if (!ParseHexNumber(data.substr(6), 8, &v)) return Why("dword: needs exactly 8 hex digits");
            value->type = REG_DWORD;
            for (int i = 0; i < 4; ++i) value->data += static_cast<char>((v >> (8 * i)) & 0xFF);
            return true;
        }
        size_t colon = data.find(':');
        std::string kind = data.substr(0, colon);
        unsigned long type = REG_BINARY;
        if (colon == std::string::npos || (kind != "hex" && kind.compare(0, 4, "hex(") != 0)) {
            return Why("unknown value data \"" + data.substr(0, 20) +
                       "\" (expected \"text\", dword:, hex: or hex(N):)");
        }
        if (kind != "hex" &&
            (kind.back() != ')' || kind.size() < 6 || kind.size() > 13 ||
             !ParseHexNumber(kind.substr(4, kind.size() - 5), kind.size() - 5, &type)))
            return Why("\"" + kind + "\" is not a value type");
        std::string bytes;
        if (!ParseHexBytes(data.substr(colon + 1), &bytes, &why_)) return false;
        value->type = static_cast<DWORD>(type);
        if (!IsStringType(value->type)) {
            value->data = bytes;
            return true;
        }
        if (bytes.size() % 2 != 0) return Why("UTF-16 string data with an odd number of bytes");
        std::u16string units(bytes.size() / 2, u'\0');
        for (size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                             static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
        if (!StringFromUnits(units, &value->data))
            return Why("string cannot be written in code page " + std::to_string(Config().codepage));
        return true;
    }

    bool Why(const std::string& why) {
        why_ = why;
        return false;
    }

    std::string file_;
    RegTree* tree_;
    RegKey* key_ = nullptr;
    std::string keyText_;
    int line_ = 0;
    std::string why_;
};

}  // namespace

bool RegNameStorable(const std::string& name) {
    std::string utf8;
    return !HasLineBreak(name) && ToUtf8Exactly(name, &utf8);
}

bool FormatRegFile(const RegTree& tree, std::string* text, std::string* error) {
    std::string out = std::string(kHeader) + "\n\n";
    for (int root = 0; root < kRootCount; ++root)
        if (!FormatKey(tree.roots[root], RegRootName(root), true, &out, error)) return false;
    *text = out;
    return true;
}

bool ParseRegFile(const std::string& text, const std::string& file, RegTree* tree, std::string* error) {
    std::string utf8;
    if (text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE') {
        std::u16string units((text.size() - 2) / 2, u'\0');
        for (size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(static_cast<unsigned char>(text[2 + 2 * i]) |
                                             static_cast<unsigned char>(text[3 + 2 * i]) << 8);
        if (text.size() % 2 != 0 || !Utf16ToUtf8(units.data(), units.size(), &utf8)) {
            *error = file + ": not valid UTF-16 text";
            return false;
        }
    } else if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        utf8 = text.substr(3);
    } else {
        utf8 = text;
    }
    Parser parser(file, tree);
    return parser.Parse(utf8, error);
}

}  // namespace platform::host
