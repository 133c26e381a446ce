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
//
// A registry file written with a journal names it on its second line ("; journal NAME", a
// comment to any other reader). The journal holds the changes saved since, in the same lines.
#include "emulator/registry/regfile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "emulator/machine/host.h"

namespace platform::host {

namespace {

const size_t kLineWidth = 80;

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

bool HasLineBreak(const std::string& s) {
    for (char c : s)
        if (c == '\r' || c == '\n') return true;
    return false;
}

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
// What does not survive the round trip is escaped byte by byte.
std::u16string StringUnits(const std::string& ansi) { return Utf16KeepingBytes(ansi, ToUtf16Exactly); }

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

// Appends `head` followed by the bytes as "xx,xx,...", continued over lines of kLineWidth.
void AppendHex(std::string* out, const std::string& head, const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    size_t line = head.size();  // the length of the line so far
    *out += head;
    for (size_t i = 0; i < bytes.size(); ++i) {
        size_t item = i + 1 < bytes.size() ? 3 : 2;
        if (i > 0 && line + item + 1 > kLineWidth) {
            *out += "\\\n  ";
            line = 2;
        }
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        *out += kDigits[b >> 4];
        *out += kDigits[b & 15];
        if (item == 3) *out += ',';
        line += item;
    }
    *out += '\n';
}

// "name"= or @= for the value's name.
bool ValueHead(const RegValue& value, std::string* head, std::string* error) {
    if (value.name.empty()) {
        *head = "@=";
        return true;
    }
    std::string name;
    if (!RegNameStorable(value.name) || !ToUtf8Exactly(value.name, &name)) {
        *error = "a value name cannot be written to the registry file";
        return false;
    }
    *head = Quote(name) + "=";
    return true;
}

bool FormatValue(const RegValue& value, std::string* out, std::string* error) {
    std::string head;
    if (!ValueHead(value, &head, error)) return false;
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
    if (!isRoot || !key.values().empty()) {
        *out += "[" + path + "]\n";
        for (const RegValue& value : key.values())
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

using View = std::string_view;

View TrimRight(View s) {
    size_t end = s.size();
    while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\t' || s[end - 1] == '\r')) --end;
    return s.substr(0, end);
}

View TrimLeft(View s) {
    size_t begin = 0;
    while (begin < s.size() && (s[begin] == ' ' || s[begin] == '\t')) ++begin;
    return s.substr(begin);
}

bool EqualNoCase(View a, const char* b) {
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
bool ParseHexNumber(View text, size_t digits, unsigned long* value) {
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
bool ParseHexBytes(View text, std::string* bytes, std::string* why) {
    bytes->clear();
    // The writer's form, "xx,xx" without spaces, at once; anything else item by item below.
    size_t n = text.size();
    if (n % 3 == 2 || (n > 0 && n % 3 == 0 && text[n - 1] == ',')) {
        bytes->resize((n + 1) / 3);
        size_t i = 0;
        for (; i + 1 < n; i += 3) {
            int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
            if (high < 0 || low < 0 || (i + 2 < n && text[i + 2] != ',')) break;
            (*bytes)[i / 3] = static_cast<char>(high << 4 | low);
        }
        if (i + 1 >= n) return true;
        bytes->clear();
    }
    View rest = TrimRight(TrimLeft(text));
    if (rest.empty()) return true;
    if (rest.back() == ',') rest.remove_suffix(1);
    bytes->reserve(rest.size() / 3 + 1);
    size_t start = 0;
    for (;;) {
        size_t comma = rest.find(',', start);
        View item = TrimRight(TrimLeft(rest.substr(start, comma == View::npos ? View::npos : comma - start)));
        unsigned long b = 0;
        if (!ParseHexNumber(item, 2, &b)) {
            *why = "\"" + std::string(item) + "\" is not a hex byte (two hex digits)";
            return false;
        }
        *bytes += static_cast<char>(b);
        if (comma == View::npos) return true;
        start = comma + 1;
    }
}

// Parses a quoted string starting at line[*pos] == '"' with \\ and \" escapes.
bool ParseQuoted(View line, size_t* pos, std::string* text, std::string* why) {
    text->clear();
    size_t i = *pos + 1;
    for (;;) {
        // The closing quote, unless an escape comes first.
        const char* quote = static_cast<const char*>(std::memchr(line.data() + i, '"', line.size() - i));
        size_t stop = quote != nullptr ? static_cast<size_t>(quote - line.data()) : line.size();
        const char* escape = static_cast<const char*>(std::memchr(line.data() + i, '\\', stop - i));
        if (escape != nullptr) stop = static_cast<size_t>(escape - line.data());
        if (stop == line.size()) break;
        text->append(line.data() + i, stop - i);
        if (line[stop] == '"') {
            *pos = stop + 1;
            return true;
        }
        if (stop + 1 >= line.size() || (line[stop + 1] != '\\' && line[stop + 1] != '"')) {
            *why = "unknown escape in a string (only \\\\ and \\\" are known)";
            return false;
        }
        *text += line[stop + 1];
        i = stop + 2;
    }
    *why = "string without its closing quote";
    return false;
}

// True when `text` is ASCII without a carriage return; eight bytes at a time.
bool Plain(View text) {
    const uint64_t kHigh = 0x8080808080808080ull, kOnes = 0x0101010101010101ull, kReturns = 0x0D0D0D0D0D0D0D0Dull;
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        uint64_t returns = word ^ kReturns;  // a zero byte where a carriage return was
        if ((word & kHigh) != 0 || ((returns - kOnes) & ~returns & kHigh) != 0) return false;
    }
    for (; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80 || text[i] == '\r') return false;
    return true;
}

// The lines of a text, each without the spaces around it, one after the other; a line ending
// in a backslash continues on the next.
class Lines {
public:
    Lines(View text, int firstLine) : text_(text), next_(firstLine) {}

    // The next line as it was, trimmed; false past the last one (the text after its last line
    // break is a line too).
    bool Raw(View* line) {
        if (pos_ > text_.size()) return false;
        size_t end = text_.find('\n', pos_);
        if (end == View::npos) end = text_.size();
        *line = TrimLeft(TrimRight(text_.substr(pos_, end - pos_)));
        begin_ = pos_;
        pos_ = end + 1;
        number_ = next_++;
        ++count_;
        blankBeforeLast_ = blankLast_;
        blankLast_ = line->empty();
        return true;
    }

    // Joins the lines that continue `line`; false when the text ends while one is continued.
    bool Continue(View* line) {
        if (line->empty() || line->back() != '\\') return true;
        joined_.assign(line->data(), line->size());
        int first = number_;
        size_t begin = begin_;
        while (!joined_.empty() && joined_.back() == '\\') {
            View more;
            if (!Raw(&more)) break;
            joined_.pop_back();
            joined_.append(more.data(), more.size());
        }
        number_ = first;
        begin_ = begin;
        *line = joined_;
        return joined_.empty() || joined_.back() != '\\';
    }

    int number() const { return number_; }  // of the line last given
    int count() const { return count_; }    // lines given so far
    size_t begin() const { return begin_; }  // where the line last given begins in the text
    size_t next() const { return std::min(pos_, text_.size()); }  // where the next begins
    // True when the last two lines given so far are blank.
    bool EndsBlank() const { return blankLast_ && blankBeforeLast_; }

private:
    View text_;
    size_t pos_ = 0;
    size_t begin_ = 0;
    int next_;
    int number_ = 0;
    int count_ = 0;
    bool blankLast_ = false;
    bool blankBeforeLast_ = false;
    std::string joined_;
};

// Values a key may hold before the duplicates among them are looked for by sorting, at the end
// of its lines, rather than one by one as each is read.
const size_t kValuesCheckedOneByOne = 16;

// Reads the lines of a registry file into a tree, the lines of a journal record into changes,
// or the value lines a key kept into its values.
//
// A file's values are read whole, so that a file that does not read is refused at once, but a
// key's values are made only when first asked for: the lines of a key seen for the first time
// are kept (RegKey::unread) and its values, once checked, forgotten.
class Parser {
public:
    // A registry file into `tree`; `careful` looks for every duplicate value as its line is read.
    Parser(const std::string& file, RegTree* tree, bool careful) : file_(file), tree_(tree), careful_(careful) {}
    // The lines of a journal record into `changes`.
    Parser(const std::string& file, std::vector<RegChange>* changes) : file_(file), changes_(changes) {}
    // Value lines, already checked, into `values`.
    explicit Parser(std::vector<RegValue>* values) : values_(values), key_(&holder_) {}

    bool ParseFile(View text, std::string* error, std::string* stamp) {
        text_ = text;
        Lines lines(text, 1);
        View line;
        while (lines.Raw(&line)) {
            line_ = lines.number();
            if (line_ == 1) {
                if (line != kRegFileHeader) return Fail("expected \"" + std::string(kRegFileHeader) + "\"", error);
                continue;
            }
            if (line_ == 2 && stamp != nullptr && line.substr(0, 10) == kRegJournalLine) *stamp = line.substr(10);
            if (line.empty() || line[0] == ';') continue;
            if (!lines.Continue(&line)) return Fail("continued line at the end of the file", error);
            if (line[0] == '[') {
                EndKey(lines.begin());
                keyLinesEnd_ = lines.next();
                if (!KeyLine(line)) return Fail(why_, error);
            } else if (!ValueLine(line)) {
                return Fail(why_, error);
            }
        }
        EndKey(text.size());
        if (!ordered_)
            for (RegKey& root : tree_->roots) OrderSubkeys(&root);
        // Every whole file ends with a blank line (the writer's and regedit's): one without it
        // was cut off.
        if (lines.count() < 3 || !lines.EndsBlank()) {
            line_ = lines.count();
            return Fail("the file does not end with a blank line: it was cut off", error);
        }
        return true;
    }

    bool ParseRecord(View text, int firstLine, std::string* error) {
        Lines lines(text, firstLine);
        View line;
        while (lines.Raw(&line)) {
            line_ = lines.number();
            if (line.empty() || line[0] == ';') continue;
            if (!lines.Continue(&line)) return Fail("continued line at the end of the record", error);
            if (!(line[0] == '[' ? KeyLine(line) : ValueLine(line))) return Fail(why_, error);
        }
        if (values_ != nullptr) {
            EndKey(text.size());
            *values_ = std::move(holder_.values());
        }
        return true;
    }

    // True when some key had more values than were checked one by one, and when duplicates
    // were found among such values.
    bool unchecked() const { return unchecked_; }
    bool duplicates() const { return duplicates_; }

private:
    bool Fail(const std::string& why, std::string* error) {
        *error = file_ + ":" + std::to_string(line_) + ": " + why;
        return false;
    }

    bool NameFromFile(View utf8, const char* what, std::string* ansi) {
        std::string text(utf8);
        if (!Utf8ToAnsi(text, ansi) || !RegNameStorable(*ansi)) {
            why_ = std::string(what) + " \"" + text + "\" cannot be written in code page " +
                   std::to_string(Config().codepage);
            return false;
        }
        return true;
    }

    // The values read since the key line are done with, up to `end` in the text: kept as
    // lines by a key that had none, else made.
    void EndKey(size_t end) {
        if (pendingCount_ == 0) return;
        if (uncheckedKey_) {
            std::vector<std::string> folded;
            if (!fresh_)
                for (const RegValue& v : key_->values()) folded.push_back(RegFoldName(v.name));
            for (size_t i = 0; i < pendingCount_; ++i) folded.push_back(RegFoldName(pending_[i].name));
            std::sort(folded.begin(), folded.end());
            duplicates_ = duplicates_ || std::adjacent_find(folded.begin(), folded.end()) != folded.end();
        }
        if (fresh_ && tree_ != nullptr) {
            key_->unread = RegKey::Unread{text_.substr(keyLinesEnd_, end - keyLinesEnd_), keyLine_ + 1};
        } else {
            std::vector<RegValue>& values = key_->values();
            values.reserve(values.size() + pendingCount_);
            for (size_t i = 0; i < pendingCount_; ++i) values.push_back(std::move(pending_[i]));
        }
        pendingCount_ = 0;
        uncheckedKey_ = false;
    }

    bool KeyLine(View line) {
        if (line.back() != ']') return Why("key line without its closing ']'");
        View path = line.substr(1, line.size() - 2);
        bool removal = !path.empty() && path[0] == '-';
        if (removal && changes_ == nullptr) return Why("removing keys ([-...]) is not supported");
        if (removal) path.remove_prefix(1);
        names_.clear();
        for (size_t start = 0;;) {
            size_t slash = path.find('\\', start);
            names_.push_back(path.substr(start, slash == View::npos ? View::npos : slash - start));
            if (slash == View::npos) break;
            start = slash + 1;
        }
        int root = -1;
        if (EqualNoCase(names_[0], "HKEY_LOCAL_MACHINE") || EqualNoCase(names_[0], "HKLM")) root = kLocalMachine;
        if (EqualNoCase(names_[0], "HKEY_CURRENT_USER") || EqualNoCase(names_[0], "HKCU")) root = kCurrentUser;
        if (root < 0)
            return Why("unknown root key \"" + std::string(names_[0]) +
                       "\" (known: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER)");
        keyText_.assign(path.data(), path.size());
        if (changes_ != nullptr) return KeyChange(root, removal);
        // The keys the last key line named are still where they were, and those it shares
        // with this one need no new reading.
        size_t same = 0;
        if (!chain_.empty() && root == chainRoot_) {
            same = 1;
            while (same < names_.size() && same < chainNames_.size() && names_[same] == chainNames_[same]) ++same;
        }
        if (same == 0) {
            chain_.assign(1, &tree_->roots[root]);
            chainNames_.assign(1, std::string());
            chainKeys_.assign(1, RootPath(root));
            chainRoot_ = root;
            same = 1;
        }
        chain_.resize(same);
        chainNames_.resize(same);
        chainKeys_.resize(same);
        for (size_t i = same; i < names_.size(); ++i) {
            if (names_[i].empty()) {
                chain_.clear();  // this line is refused: nothing of it is kept
                return Why("empty key name in [" + keyText_ + "]");
            }
            std::string ansi;
            if (!NameFromFile(names_[i], "key name", &ansi)) {
                chain_.clear();
                return false;
            }
            chain_.push_back(ordered_ ? SubkeyInOrder(ansi) : Subkey(ansi));
            chainNames_.emplace_back(names_[i]);
        }
        key_ = chain_.back();
        keyLine_ = line_;
        fresh_ = key_->values().empty();
        return true;
    }

    // The subkey `name` of the key last in the chain, made in its place when new, while the
    // keys come in order (as the writer and regedit write them): most often at the end.
    RegKey* SubkeyInOrder(const std::string& name) {
        std::vector<RegKey>& subkeys = chain_.back()->subkeys;
        std::string folded = RegFoldName(name);
        if (subkeys.empty() || subkeys.back().folded < folded) return Made(&subkeys, name, std::move(folded));
        auto at = std::lower_bound(subkeys.begin(), subkeys.end(), folded,
                                   [](const RegKey& key, const std::string& f) { return key.folded < f; });
        if (at != subkeys.end() && at->folded == folded) return &*at;
        // Out of order: made in its place while the keys moved for it stay few beside those
        // read. Past that, every key is found by its path and made at the end of its siblings,
        // which are put in order once the file is read: a file in any order costs no more than
        // one in order.
        size_t after = static_cast<size_t>(subkeys.end() - at);
        if (moved_ + after <= 4 * keysMade_ + 1024) {
            moved_ += after;
            ++keysMade_;
            RegKey made;
            made.name = name;
            made.folded = std::move(folded);
            return &*subkeys.insert(at, std::move(made));
        }
        ordered_ = false;
        for (int root = 0; root < kRootCount; ++root) IndexSubkeys(tree_->roots[root], RootPath(root));
        chainKeys_.assign(1, RootPath(chainRoot_));
        for (size_t i = 1; i < chain_.size(); ++i) chainKeys_.push_back(ChildPath(chainKeys_.back(), chain_[i]->folded));
        return Subkey(name);
    }

    // The subkey `name` of the key last in the chain, found by its path, or made at the end of
    // its siblings; its path goes on the chain.
    RegKey* Subkey(const std::string& name) {
        std::string folded = RegFoldName(name);
        std::string path = ChildPath(chainKeys_.back(), folded);
        std::vector<RegKey>& subkeys = chain_.back()->subkeys;
        auto found = subkeyAt_.find(path);
        chainKeys_.push_back(path);
        if (found != subkeyAt_.end()) return &subkeys[found->second];
        subkeyAt_.emplace(std::move(path), subkeys.size());
        return Made(&subkeys, name, std::move(folded));
    }

    RegKey* Made(std::vector<RegKey>* subkeys, const std::string& name, std::string folded) {
        ++keysMade_;
        RegKey& made = subkeys->emplace_back();
        made.name = name;
        made.folded = std::move(folded);
        return &made;
    }

    // Paths of keys as subkeyAt_ knows them. Folded names are whole UTF-16 units and hold no
    // NUL: two NUL bytes part them.
    static std::string RootPath(int root) { return std::string(1, static_cast<char>('0' + root)); }
    static std::string ChildPath(const std::string& parent, const std::string& folded) {
        return parent + std::string(2, '\0') + folded;
    }

    void IndexSubkeys(const RegKey& key, const std::string& path) {
        for (size_t i = 0; i < key.subkeys.size(); ++i) {
            std::string child = ChildPath(path, key.subkeys[i].folded);
            IndexSubkeys(key.subkeys[i], child);
            subkeyAt_.emplace(std::move(child), i);
        }
    }

    // Puts the subkeys of `key` and of all below it in order.
    static void OrderSubkeys(RegKey* key) {
        auto before = [](const RegKey& a, const RegKey& b) { return a.folded < b.folded; };
        if (!std::is_sorted(key->subkeys.begin(), key->subkeys.end(), before))
            std::sort(key->subkeys.begin(), key->subkeys.end(), before);
        for (RegKey& sub : key->subkeys) OrderSubkeys(&sub);
    }

    bool KeyChange(int root, bool removal) {
        RegChange change;
        change.kind = removal ? RegChange::kDeleteKey : RegChange::kCreateKey;
        change.root = root;
        for (size_t i = 1; i < names_.size(); ++i) {
            if (names_[i].empty()) return Why("empty key name in [" + keyText_ + "]");
            std::string ansi;
            if (!NameFromFile(names_[i], "key name", &ansi)) return false;
            change.path.push_back(ansi);
        }
        if (removal && change.path.empty()) return Why("a root key cannot be removed");
        haveKey_ = !removal;
        keyChange_ = change;
        changes_->push_back(change);
        return true;
    }

    // The next value read for the key: a value of `pending_`, kept with its room from key to key.
    RegValue* NextPending() {
        if (pendingCount_ == pending_.size()) pending_.emplace_back();
        return &pending_[pendingCount_++];
    }

    bool ValueLine(View line) {
        if (changes_ != nullptr ? !haveKey_ : key_ == nullptr) return Why("value before the first [key] line");
        // A line of ASCII without a carriage return (most lines) holds its names and text as
        // the machine holds them.
        plain_ = asciiIsAnsi_ && Plain(line);
        RegChange change;
        RegValue* value = changes_ != nullptr ? &change.value : NextPending();
        size_t pos = 0;
        nameUtf8_.clear();
        value->name.clear();
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] == '"') {
            if (!ParseQuoted(line, &pos, plain_ ? &value->name : &nameUtf8_, &why_)) return false;
            if (!plain_ && !NameFromFile(nameUtf8_, "value name", &value->name)) return false;
        } else {
            return Why("expected a [key] line or \"name\"=value");
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size() || line[pos] != '=') return Why("expected '=' after the value name");
        View data = TrimLeft(line.substr(pos + 1));
        if (changes_ != nullptr) {
            change.kind = data == "-" ? RegChange::kDeleteValue : RegChange::kSetValue;
            change.root = keyChange_.root;
            change.path = keyChange_.path;
            if (change.kind == RegChange::kSetValue && !ValueData(data, value)) return false;
            changes_->push_back(std::move(change));
            return true;
        }
        if (!ValueData(data, value)) return false;
        if (values_ != nullptr) return true;  // checked when the file was read
        size_t before = fresh_ ? 0 : key_->values().size();
        if (careful_ || before + pendingCount_ <= kValuesCheckedOneByOne) {
            bool twice = !fresh_ && key_->FindValue(value->name) != nullptr;
            for (size_t i = 0; i + 1 < pendingCount_; ++i) twice = twice || RegSameName(pending_[i].name, value->name);
            if (twice)
                return Why("value \"" + (plain_ ? value->name : nameUtf8_) + "\" appears twice in [" + keyText_ + "]");
        } else {
            unchecked_ = uncheckedKey_ = true;
        }
        return true;
    }

    bool ValueData(View data, RegValue* value) {
        if (!data.empty() && data[0] == '"') {
            size_t pos = 0;
            value->data.reserve(data.size());  // room for the NUL too: no second allocation
            std::string& text = plain_ ? value->data : quoted_;
            if (!ParseQuoted(data, &pos, &text, &why_)) return false;
            if (pos != data.size()) return Why("unexpected text after the string");
            if (!plain_ && !Utf8ToAnsi(text, &value->data))
                return Why("string cannot be written in code page " + std::to_string(Config().codepage));
            value->type = REG_SZ;
            value->data += '\0';
            return true;
        }
        if (data == "-") return Why("removing values (=-) is not supported");
        if (data.substr(0, 6) == "dword:") {
            unsigned long v = 0;
            if (!ParseHexNumber(data.substr(6), 8, &v)) return Why("dword: needs exactly 8 hex digits");
            value->type = REG_DWORD;
            const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                                   static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
            value->data.assign(bytes, 4);
            return true;
        }
        size_t colon = data.find(':');
        View kind = data.substr(0, colon);
        unsigned long type = REG_BINARY;
        if (colon == View::npos || (kind != "hex" && kind.substr(0, 4) != "hex(")) {
            return Why("unknown value data \"" + std::string(data.substr(0, 20)) +
                       "\" (expected \"text\", dword:, hex: or hex(N):)");
        }
        if (kind != "hex" &&
            (kind.back() != ')' || kind.size() < 6 || kind.size() > 13 ||
             !ParseHexNumber(kind.substr(4, kind.size() - 5), kind.size() - 5, &type)))
            return Why("\"" + std::string(kind) + "\" is not a value type");
        std::string& bytes = bytes_;
        if (!ParseHexBytes(data.substr(colon + 1), &bytes, &why_)) return false;
        value->type = static_cast<DWORD>(type);
        if (!IsStringType(value->type)) {
            value->data.assign(bytes);
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
    RegTree* tree_ = nullptr;
    std::vector<RegChange>* changes_ = nullptr;
    std::vector<RegValue>* values_ = nullptr;
    bool careful_ = false;
    bool unchecked_ = false;
    bool duplicates_ = false;
    View text_;               // the file's text
    RegKey holder_;           // the key of value lines read on their own
    RegKey* key_ = nullptr;   // the key of the last key line
    int keyLine_ = 0;         // its line
    size_t keyLinesEnd_ = 0;  // where it ends in the text
    bool fresh_ = true;       // the key had no values before it
    bool uncheckedKey_ = false;
    std::vector<RegValue> pending_;  // the values read since; those before pendingCount_
    size_t pendingCount_ = 0;
    std::string nameUtf8_, quoted_, bytes_;  // kept, with their room, from line to line
    bool asciiIsAnsi_ = AsciiIsAnsi();
    bool plain_ = false;  // the value line is ASCII without a carriage return
    // The keys of the last key line, from its root down, and their names as the file spells them.
    std::vector<RegKey*> chain_;
    std::vector<std::string> chainNames_;
    int chainRoot_ = -1;
    bool ordered_ = true;  // the keys came in order so far, or nearly
    size_t keysMade_ = 0;
    size_t moved_ = 0;     // keys moved aside for one out of order
    // Once they did not: the chain's paths, and each key's place among its siblings by path.
    std::vector<std::string> chainKeys_;
    std::unordered_map<std::string, size_t> subkeyAt_;
    std::vector<View> names_;
    std::string keyText_;
    bool haveKey_ = false;  // journal: a key line names the key of the values below it
    RegChange keyChange_;   // journal: that key
    int line_ = 0;
    std::string why_;
};

}  // namespace

bool FormatRegValue(const RegValue& value, std::string* out, std::string* error) {
    return FormatValue(value, out, error);
}

bool FormatRegValueHead(const RegValue& value, std::string* head, std::string* error) {
    return ValueHead(value, head, error);
}

bool ParseRegChangeLines(std::string_view lines, int firstLine, const std::string& file,
                         std::vector<RegChange>* changes, std::string* error) {
    Parser parser(file, changes);
    return parser.ParseRecord(lines, firstLine, error);
}

bool ParseRegHexNumber(std::string_view text, size_t digits, unsigned long* value) {
    return ParseHexNumber(text, digits, value);
}

std::string_view TrimRegLineLeft(std::string_view line) { return TrimLeft(line); }
std::string_view TrimRegLineRight(std::string_view line) { return TrimRight(line); }

bool RegNameStorable(const std::string& name) {
    std::string utf8;
    return !HasLineBreak(name) && ToUtf8Exactly(name, &utf8);
}

bool FormatRegFile(const RegTree& tree, std::string* text, std::string* error, const std::string& stamp) {
    std::string out = std::string(kRegFileHeader) + "\n";
    if (!stamp.empty()) out += kRegJournalLine + stamp + "\n";
    out += "\n";
    for (int root = 0; root < kRootCount; ++root)
        if (!FormatKey(tree.roots[root], RegRootName(root), true, &out, error)) return false;
    *text = std::move(out);
    return true;
}

bool ParseRegFile(std::string text, const std::string& file, RegTree* tree, std::string* error,
                  std::string* stamp) {
    if (text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE') {
        std::u16string units((text.size() - 2) / 2, u'\0');
        for (size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(static_cast<unsigned char>(text[2 + 2 * i]) |
                                             static_cast<unsigned char>(text[3 + 2 * i]) << 8);
        std::string utf8;
        if (text.size() % 2 != 0 || !Utf16ToUtf8(units.data(), units.size(), &utf8)) {
            *error = file + ": not valid UTF-16 text";
            return false;
        }
        text = std::move(utf8);
    }
    auto kept = std::make_shared<const std::string>(std::move(text));
    View utf8 = *kept;
    if (utf8.compare(0, 3, "\xEF\xBB\xBF") == 0) utf8.remove_prefix(3);
    if (stamp != nullptr) stamp->clear();
    RegTree start = *tree;
    tree->text = kept;
    Parser parser(file, tree, false);
    bool ok = parser.ParseFile(utf8, error, stamp);
    if (!parser.unchecked() || (ok && !parser.duplicates())) return ok;
    // Read once more checking every value as it comes: the first fault, with its line.
    *tree = start;
    tree->text = kept;
    Parser careful(file, tree, true);
    return careful.ParseFile(utf8, error, stamp);
}

void ReadRegValueLines(std::string_view lines, int firstLine, std::vector<RegValue>* values) {
    Parser parser(values);
    std::string ignored;
    parser.ParseRecord(lines, firstLine, &ignored);
}

}  // namespace platform::host
