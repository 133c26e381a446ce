// A reader of the few resource-script statements the updater's scripts use: #define lines of
// their headers, DIALOGEX with CONTROL statements, STRINGTABLE.
#include "support/rc_script.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vktest {
namespace {

std::string ReadSource(const std::string& relative) {
    std::ifstream in(std::string(VK_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    if (!in) ADD_FAILURE() << "cannot read " << relative;
    return s.str();
}

std::map<std::string, long> ReadDefines(const std::string& header) {
    std::map<std::string, long> defines;
    std::istringstream lines(ReadSource(header));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string directive, name, value;
        if (words >> directive >> name >> value && directive == "#define")
            defines[name] = std::strtol(value.c_str(), nullptr, 0);
    }
    return defines;
}

// The identifiers the scripts use: those of the updater's two ID headers.
const std::map<std::string, long>& Identifiers() {
    static const std::map<std::string, long> ids = [] {
        std::map<std::string, long> all = ReadDefines("resources/resource.h");
        for (const auto& define : ReadDefines("text/text_ids.h")) all.insert(define);
        return all;
    }();
    return ids;
}

struct Token {
    enum Kind { Word, Number, Text, Mark } kind;
    std::string text;  // a Text token's content with its escapes resolved
    long number = 0;
};

// Splits a script into tokens; comments and preprocessor lines are dropped.
std::vector<Token> Tokens(const std::string& script) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < script.size()) {
        char c = script[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (script.compare(i, 2, "//") == 0 || (c == '#' && (i == 0 || script[i - 1] == '\n'))) {
            i = script.find('\n', i);
            if (i == std::string::npos) i = script.size();
        } else if (c == '"') {
            std::string text;
            for (++i; i < script.size(); ++i) {
                if (script[i] == '"' && i + 1 < script.size() && script[i + 1] == '"') {
                    text += '"';
                    ++i;
                } else if (script[i] == '"') {
                    break;
                } else if (script[i] == '\\' && i + 1 < script.size()) {
                    char e = script[++i];
                    if (e == 'n') text += '\n';
                    else if (e == 't') text += '\t';
                    else if (e == '\\' || e == '"') text += e;
                    else ADD_FAILURE() << "escape \\" << e << " is not read here";
                } else {
                    text += script[i];
                }
            }
            ++i;
            tokens.push_back({Token::Text, text});
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '-' && i + 1 < script.size() && std::isdigit(static_cast<unsigned char>(script[i + 1])))) {
            char* end = nullptr;
            long n = std::strtol(script.c_str() + i, &end, 0);
            tokens.push_back({Token::Number, script.substr(i, static_cast<size_t>(end - script.c_str()) - i), n});
            i = static_cast<size_t>(end - script.c_str());
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t start = i;
            while (i < script.size() && (std::isalnum(static_cast<unsigned char>(script[i])) || script[i] == '_')) ++i;
            tokens.push_back({Token::Word, script.substr(start, i - start)});
        } else {
            tokens.push_back({Token::Mark, std::string(1, c)});
            ++i;
        }
    }
    return tokens;
}

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    bool AtEnd() const { return at_ >= tokens_.size(); }
    const Token& Peek() const {
        static const Token none{Token::Mark, ""};
        return AtEnd() ? none : tokens_[at_];
    }
    Token Next() { return AtEnd() ? Peek() : tokens_[at_++]; }
    bool Take(const std::string& text) {
        if (AtEnd() || Peek().kind == Token::Text || Peek().text != text) return false;
        ++at_;
        return true;
    }
    void Comma() {
        if (!Take(",")) ADD_FAILURE() << "a comma expected before " << Peek().text;
    }
    // A number or an identifier of the headers.
    long Value() {
        Token t = Next();
        if (t.kind == Token::Number) return t.number;
        auto found = Identifiers().find(t.text);
        if (t.kind != Token::Word || found == Identifiers().end()) ADD_FAILURE() << "unknown value " << t.text;
        return found == Identifiers().end() ? 0 : found->second;
    }
    // Terms joined by "|" onto `start`; "NOT x" clears the bits of x, as windres reads it.
    DWORD Style(DWORD start) {
        DWORD style = start;
        do {
            if (Take("NOT"))
                style &= ~static_cast<DWORD>(Value());
            else
                style |= static_cast<DWORD>(Value());
        } while (Take("|"));
        return style;
    }
    std::string Text() {
        Token t = Next();
        if (t.kind != Token::Text) ADD_FAILURE() << "a text expected, not " << t.text;
        return t.text;
    }

private:
    std::vector<Token> tokens_;
    size_t at_ = 0;
};

RcControl ReadControl(Parser& p) {
    RcControl c;
    if (p.Peek().kind == Token::Text)
        c.text = p.Text();
    else
        c.textOrdinal = static_cast<int>(p.Value());
    p.Comma();
    c.id = p.Value();
    p.Comma();
    if (p.Peek().kind == Token::Text) {
        for (char ch : p.Text()) c.className += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    } else {
        const char* predefined[] = {"button", "edit", "static"};
        long ordinal = p.Value();
        c.className = ordinal >= 0x80 && ordinal <= 0x82 ? predefined[ordinal - 0x80] : std::to_string(ordinal);
    }
    p.Comma();
    const DWORD childVisible = 0x50000000;  // WS_CHILD | WS_VISIBLE
    c.style = p.Style(childVisible);
    short* place[] = {&c.x, &c.y, &c.cx, &c.cy};
    for (short* field : place) {
        p.Comma();
        *field = static_cast<short>(p.Value());
    }
    if (p.Take(",")) c.exStyle = p.Style(0);
    return c;
}

}  // namespace

long RcDefine(const std::string& header, const std::string& name) {
    std::map<std::string, long> defines = ReadDefines(header);
    auto found = defines.find(name);
    if (found == defines.end()) ADD_FAILURE() << header << " defines no " << name;
    return found == defines.end() ? 0 : found->second;
}

RcDialog ReadRcDialog(const std::string& name) {
    Parser p(Tokens(ReadSource("resources/dialog.rc")));
    RcDialog d;
    while (!p.AtEnd() && !(p.Take(name) && p.Take("DIALOGEX"))) p.Next();
    if (p.AtEnd()) {
        ADD_FAILURE() << "resources/dialog.rc has no dialog " << name;
        return d;
    }
    short* place[] = {&d.x, &d.y, &d.cx, &d.cy};
    for (short* field : place) {
        *field = static_cast<short>(p.Value());
        p.Take(",");
    }
    while (!p.AtEnd() && !p.Take("BEGIN")) {
        if (p.Take("STYLE")) {
            d.style = p.Style(0);
        } else if (p.Take("EXSTYLE")) {
            d.exStyle = p.Style(0);
        } else if (p.Take("CAPTION")) {
            d.caption = p.Text();
        } else if (p.Take("FONT")) {
            d.pointSize = static_cast<int>(p.Value());
            p.Comma();
            d.typeface = p.Text();
            int* rest[] = {&d.weight, &d.italic, &d.charset};
            for (int* field : rest) {
                p.Comma();
                *field = static_cast<int>(p.Value());
            }
        } else {
            ADD_FAILURE() << "dialog statement " << p.Next().text << " is not read here";
        }
    }
    while (!p.AtEnd() && !p.Take("END")) {
        if (!p.Take("CONTROL")) {
            ADD_FAILURE() << "control statement " << p.Next().text << " is not read here";
            continue;
        }
        d.controls.push_back(ReadControl(p));
    }
    return d;
}

const std::map<UINT, std::string>& RcStrings() {
    static const std::map<UINT, std::string> strings = [] {
        std::map<UINT, std::string> table;
        Parser p(Tokens(ReadSource("resources/strings.rc")));
        while (!p.AtEnd() && !p.Take("STRINGTABLE")) p.Next();
        if (!p.Take("BEGIN")) ADD_FAILURE() << "resources/strings.rc has no STRINGTABLE";
        while (!p.AtEnd() && !p.Take("END")) {
            UINT id = static_cast<UINT>(p.Value());
            p.Take(",");
            table[id] = p.Text();
        }
        return table;
    }();
    return strings;
}

}  // namespace vktest
