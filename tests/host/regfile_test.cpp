// The registry file codec: what it writes, what it reads, and that nothing is lost between.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/machine/host.h"
#include "emulator/registry/reg_journal.h"
#include "emulator/registry/regfile.h"
#include "support/temp_machine.h"

namespace host = platform::host;

namespace {

std::string Hex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02x ", c);
        out += b;
    }
    return out;
}

// Every key and value of a tree, one per line, bytes in hex: equal dumps, equal trees.
void Dump(const host::RegKey& key, const std::string& path, std::string* out) {
    *out += "[" + Hex(path) + "]\n";
    for (const host::RegValue& v : key.values())
        *out += Hex(v.name) + "= " + std::to_string(v.type) + ": " + Hex(v.data) + "\n";
    for (const host::RegKey& sub : key.subkeys) Dump(sub, path + "\\" + sub.name, out);
}

std::string Dump(const host::RegTree& tree) {
    std::string out;
    for (int root = 0; root < host::kRootCount; ++root) Dump(tree.roots[root], host::RegRootName(root), &out);
    return out;
}

host::RegTree EmptyTree() {
    host::RegTree tree;
    for (int root = 0; root < host::kRootCount; ++root) tree.roots[root].name = host::RegRootName(root);
    return tree;
}

void Add(host::RegKey* key, const std::string& name, DWORD type, const std::string& data) {
    key->values().push_back(host::RegValue{name, type, data});
}

bool Parse(const std::string& text, host::RegTree* tree, std::string* error) {
    *tree = EmptyTree();
    return host::ParseRegFile(text, "registry.reg", tree, error);
}

const char kHead[] = "Windows Registry Editor Version 5.00\n\n";

// "Value 0"=dword:00000000 ... one line each.
std::string ManyValues(int count) {
    std::string text;
    char line[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "\"Value %d\"=dword:%08x\n", i, i);
        text += line;
    }
    return text;
}

}  // namespace

class RegFile : public ::testing::Test {
protected:
    vktest::TempMachine machine_;  // for the code page (932)
};

TEST_F(RegFile, EveryTypeAndLengthSurvivesWriteAndRead) {
    host::RegTree tree = EmptyTree();
    bool created = false;
    host::RegKey* soft = tree.roots[host::kLocalMachine].AddSubkey("SOFTWARE", &created);
    host::RegKey* app = soft->AddSubkey("Maker", &created)->AddSubkey("\x95\x5c\x8e\xa6", &created);  // 表示
    Add(app, "Text", REG_SZ, std::string("C:\\Program Files\\Maker\0", 23));
    Add(app, "Filter", REG_SZ, "Filter");  // no NUL
    Add(app, "Empty", REG_SZ, "");         // no bytes at all
    Add(app, "TwoNuls", REG_SZ, std::string("a\0b\0", 4));
    Add(app, "Lines", REG_SZ, std::string("a\r\nb\0", 5));
    Add(app, "Quote \"and\" \\", REG_SZ, std::string("say \"hi\" \\\0", 11));
    Add(app, "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93", REG_SZ,  // バージョン
        std::string("\x82\xa0\x82\xa2\0", 5));                    // あい
    Add(app, "LoneLead", REG_SZ, std::string("ab\x82", 3));
    Add(app, "TwoCodes", REG_SZ, std::string("\x87\x90\x81\xe0\0", 5));  // one character, two codes
    Add(app, "BadPair", REG_EXPAND_SZ, std::string("\x82\x20x", 3));
    Add(app, "Expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15));
    Add(app, "Multi", REG_MULTI_SZ, std::string("\x95\x5c\0two\0\0", 8));
    Add(app, "", REG_DWORD, std::string("\x2a\0\0\x80", 4));
    Add(app, "ShortDword", REG_DWORD, std::string("\x01\x02\x03", 3));
    Add(app, "Qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    Add(app, "None", REG_NONE, "");
    Add(app, "Odd", 0x12345, std::string("\x00\x01\x02", 3));
    std::string big;
    for (int i = 0; i < 300; ++i) big += static_cast<char>(i * 7);
    Add(app, "Big", REG_BINARY, big);
    tree.roots[host::kCurrentUser].AddSubkey("Empty key", &created);
    Add(&tree.roots[host::kCurrentUser], "AtRoot", REG_BINARY, "\x01");

    std::string text, error;
    ASSERT_TRUE(host::FormatRegFile(tree, &text, &error)) << error;
    host::RegTree back;
    ASSERT_TRUE(Parse(text, &back, &error)) << error << "\n" << text;
    EXPECT_EQ(Dump(back), Dump(tree)) << text;
    std::string again;
    ASSERT_TRUE(host::FormatRegFile(back, &again, &error));
    EXPECT_EQ(again, text);
}

TEST_F(RegFile, WritesTheFormsRegeditWrites) {
    host::RegTree tree = EmptyTree();
    bool created = false;
    host::RegKey* key =
        tree.roots[host::kCurrentUser].AddSubkey("Software", &created)->AddSubkey("\x95\x5c", &created);
    Add(key, "", REG_SZ, std::string("\x83\x65\x83\x58\x83\x67\0", 7));  // テスト
    Add(key, "a\"b\\c", REG_SZ, std::string("x\\y\0", 4));
    Add(key, "Count", REG_DWORD, std::string("\x2a\0\0\0", 4));
    Add(key, "Filter", REG_SZ, "Filter");
    Add(key, "Empty", REG_SZ, "");
    Add(key, "Lone", REG_SZ, "\x82");
    Add(key, "Bin", REG_BINARY, std::string(40, '\x11'));
    Add(key, "Q", REG_QWORD, std::string(8, '\0'));
    std::string text, error;
    ASSERT_TRUE(host::FormatRegFile(tree, &text, &error)) << error;
    EXPECT_EQ(text.rfind(kHead, 0), 0u) << text;
    for (const char* line :
         {"[HKEY_CURRENT_USER\\Software\\表]\n", "@=\"テスト\"\n", "\"a\\\"b\\\\c\"=\"x\\\\y\"\n",
          "\"Count\"=dword:0000002a\n", "\"Filter\"=hex(1):46,00,69,00,6c,00,74,00,65,00,72,00\n",
          "\"Empty\"=hex(1):\n", "\"Lone\"=hex(1):82,dc\n", "\"Q\"=hex(b):00,00,00,00,00,00,00,00\n",
          "\"Bin\"=hex:11,11,"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) EXPECT_LE(line.size(), 80u) << line;
}

TEST_F(RegFile, ReadsRegeditOutput) {
    // regedit writes UTF-16LE with a byte-order mark and CRLF, continues long hex lines, and
    // keeps REG_EXPAND_SZ and REG_MULTI_SZ as UTF-16.
    std::string utf8 =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "; exported\r\n"
        "[hkey_local_machine\\SOFTWARE\\Maker]\r\n"
        "\"Path\"=hex(2):25,00,53,00,79,00,73,00,\\\r\n"
        "  52,00,00,00\r\n"
        "\"Name\"=\"バージョン\"\r\n"
        "\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
        "\"Raw\" = hex:01,02,\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\maker]\r\n"
        "\"N\"=dword:00000001\r\n"
        "\r\n";
    std::u16string units;
    std::string sjis;
    ASSERT_TRUE(host::Utf8ToAnsi(utf8, &sjis));
    ASSERT_TRUE(host::AnsiToUtf16(sjis, &units));
    std::string text = "\xFF\xFE";
    for (char16_t u : units) {
        text += static_cast<char>(u & 0xFF);
        text += static_cast<char>(u >> 8);
    }
    host::RegTree tree;
    std::string error;
    ASSERT_TRUE(Parse(text, &tree, &error)) << error;
    const host::RegKey* maker = tree.roots[host::kLocalMachine].FindSubkey("software");
    ASSERT_NE(maker, nullptr);
    maker = maker->FindSubkey("MAKER");
    ASSERT_NE(maker, nullptr);
    EXPECT_EQ(maker->name, "Maker");
    ASSERT_EQ(maker->values().size(), 5u);
    EXPECT_EQ(maker->FindValue("Path")->data, std::string("%SysR\0", 6));
    EXPECT_EQ(maker->FindValue("Path")->type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(maker->FindValue("Name")->data, std::string("\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\0", 11));
    EXPECT_EQ(maker->FindValue("Multi")->data, std::string("a\0\0", 3));
    EXPECT_EQ(maker->FindValue("Raw")->data, "\x01\x02");
    EXPECT_EQ(maker->FindValue("N")->data, std::string("\x01\0\0\0", 4));
}

TEST_F(RegFile, MalformedFilesNameTheLine) {
    const std::string key = "[HKEY_CURRENT_USER\\Software]\n";
    struct Case {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "registry.reg:1: expected \"Windows Registry Editor Version 5.00\""},
        {std::string(kHead) + "\"a\"=\"b\"\n", "registry.reg:3: value before the first [key]"},
        {std::string(kHead) + "[HKEY_CLASSES_ROOT\\x]\n",
         "registry.reg:3: unknown root key \"HKEY_CLASSES_ROOT\""},
        {std::string(kHead) + "[HKEY_CURRENT_USER\\\\x]\n", "registry.reg:3: empty key name"},
        {std::string(kHead) + "[-HKEY_CURRENT_USER\\x]\n", "registry.reg:3: removing keys"},
        {std::string(kHead) + key + "\"a\"=\"b\n", "registry.reg:4: string without its closing quote"},
        {std::string(kHead) + key + "\"a\"=\"b\\n\"\n", "registry.reg:4: unknown escape"},
        {std::string(kHead) + key + "\"a\"=dword:123456789\n", "registry.reg:4: dword: needs"},
        {std::string(kHead) + key + "\"a\"=hex:01,\\\n  0g\n", "registry.reg:4: \"0g\" is not a hex byte"},
        {std::string(kHead) + key + "\n\"a\"=hex:01,\\\n 02\n\"b\"=hex(x):\n",
         "registry.reg:7: \"hex(x)\" is not"},
        {std::string(kHead) + key + "\"a\"=hex(1):41\n", "registry.reg:4: UTF-16 string data with an odd"},
        {std::string(kHead) + key + "\"a\"=\"\xc3\xa9\"\n",
         "registry.reg:4: string cannot be written in code page 932"},
        {std::string(kHead) + key + "\"A\"=\"1\"\n" + key + "\"a\"=\"2\"\n",
         "registry.reg:6: value \"a\" appears twice"},
        {std::string(kHead) + key + "\"a\"=hex:01,\\", "continued line at the end of the file"},
        // Only what the writer writes: two digits a byte, eight a dword, the final blank line.
        {std::string(kHead) + key + "\"a\"=hex:01,2\n\n", "registry.reg:4: \"2\" is not a hex byte"},
        {std::string(kHead) + key + "\"a\"=dword:0000001\n\n", "registry.reg:4: dword: needs exactly 8"},
        {std::string(kHead) + key + "\"a\"=\"b\"\n", "registry.reg:5: the file does not end with a blank line"},
        {std::string(kHead) + key + "\"a\"=hex:01,02,03", "registry.reg:4: the file does not end with a blank"},
        // A key of many values, whose duplicates are looked for once the file is read: the
        // first fault is still the one named, with its line.
        {std::string(kHead) + key + ManyValues(40) + "\"VALUE 7\"=\"again\"\n\n",
         "registry.reg:44: value \"VALUE 7\" appears twice"},
        {std::string(kHead) + key + ManyValues(40) + "\"value 7\"=dword:1\n\n", "registry.reg:44: dword: needs"},
        {std::string(kHead) + key + ManyValues(20) + "\"Value 3\"=\"again\"\n" + ManyValues(20) + "\"x\"=hex:zz\n\n",
         "registry.reg:24: value \"Value 3\" appears twice"},
    };
    for (const Case& c : cases) {
        host::RegTree tree;
        std::string error;
        EXPECT_FALSE(Parse(c.text, &tree, &error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << "got: " << error << "\nwanted: " << c.error;
    }
}

TEST_F(RegFile, JournalRecordsReadBackAndTheFirstRecordNotWholeEndsTheJournal) {
    using Change = host::RegChange;
    auto change = [](Change::Kind kind, int root, std::vector<std::string> path, std::string name = "",
                     DWORD type = REG_NONE, std::string data = "") {
        Change c;
        c.kind = kind;
        c.root = root;
        c.path = std::move(path);
        c.value = host::RegValue{std::move(name), type, std::move(data)};
        return c;
    };
    const std::vector<std::string> maker = {"SOFTWARE", "Maker", "\x95\x5c\x8e\xa6"};  // 表示
    // As a record reads: a key line makes its key, then the values below it change.
    const std::vector<std::vector<Change>> records = {
        {change(Change::kCreateKey, host::kLocalMachine, maker),
         change(Change::kSetValue, host::kLocalMachine, maker, "\x83\x6f\x81\x5b", REG_SZ, std::string("\x82\xa0\0", 3)),
         change(Change::kSetValue, host::kLocalMachine, maker, "", REG_BINARY, std::string(100, '\x11'))},
        {change(Change::kCreateKey, host::kCurrentUser, {}),
         change(Change::kSetValue, host::kCurrentUser, {}, "Lone", REG_SZ, "\x82"),
         change(Change::kCreateKey, host::kLocalMachine, maker),
         change(Change::kDeleteValue, host::kLocalMachine, maker, "\x83\x6f\x81\x5b"),
         change(Change::kDeleteValue, host::kLocalMachine, maker, "")},
        {change(Change::kDeleteKey, host::kLocalMachine, {"software", "MAKER"}),
         change(Change::kCreateKey, host::kLocalMachine, {"SOFTWARE", "Maker"}),
         change(Change::kSetValue, host::kLocalMachine, {"SOFTWARE", "Maker"}, "Again", 0x100, "odd")},
    };
    std::string journal = host::RegJournalHeader("0123456789abcdef"), error;
    std::vector<size_t> ends;
    for (const std::vector<Change>& record : records) {
        std::string text;
        ASSERT_TRUE(host::FormatRegJournalRecord(record, &text, &error)) << error;
        journal += text;
        ends.push_back(journal.size());
    }
    auto same = [](const std::vector<std::vector<Change>>& a, const std::vector<std::vector<Change>>& b) {
        auto text = [](const std::vector<std::vector<Change>>& records) {
            std::string out;
            for (const auto& record : records) {
                for (const Change& c : record) {
                    out += std::to_string(c.kind) + " " + std::to_string(c.root) + " ";
                    for (const std::string& name : c.path) out += Hex(name) + "\\ ";
                    out += Hex(c.value.name) + "= " + std::to_string(c.value.type) + ": " + Hex(c.value.data) + "\n";
                }
                out += "--\n";
            }
            return out;
        };
        return text(a) == text(b);
    };
    host::RegJournalRead read;
    ASSERT_TRUE(host::ParseRegJournal(journal, true, 1, "registry.journal", &read, &error)) << error << journal;
    EXPECT_EQ(read.stamp, "0123456789abcdef");
    EXPECT_TRUE(same(read.records, records)) << journal;
    EXPECT_EQ(read.end, journal.size());
    // Cut anywhere in the last record: the two before it. Any byte of it changed instead is
    // damage, refused with a line of the last record, not read as a journal cut short.
    const std::vector<std::vector<Change>> two(records.begin(), records.begin() + 2);
    const int lastFirst = static_cast<int>(std::count(journal.begin(), journal.begin() + ends[1], '\n')) + 1;
    const int lastLine = static_cast<int>(std::count(journal.begin(), journal.end(), '\n'));
    for (size_t cut = ends[1]; cut < journal.size(); ++cut) {
        ASSERT_TRUE(host::ParseRegJournal(journal.substr(0, cut), true, 1, "j", &read, &error)) << error;
        EXPECT_TRUE(same(read.records, two)) << cut;
        EXPECT_EQ(read.end, ends[1]) << cut;
        std::string damaged = journal;
        damaged[cut] ^= 0x01;
        ASSERT_FALSE(host::ParseRegJournal(damaged, true, 1, "j", &read, &error)) << cut;
        int at = std::atoi(error.c_str() + 2);
        EXPECT_TRUE(error.compare(0, 2, "j:") == 0 && at >= lastFirst && at <= lastLine) << cut << ": " << error;
    }
    // A whole record that does not read is refused, with its line.
    std::string bad = "[HKEY_CURRENT_USER\\Software]\n\"a\"=hex:zz\n";
    EXPECT_FALSE(host::ParseRegJournal(journal + bad + host::RegJournalCommitLine(bad), true, 1, "registry.journal",
                                       &read, &error));
    EXPECT_EQ(error, "registry.journal:" + std::to_string(std::count(journal.begin(), journal.end(), '\n') + 2) +
                         ": \"zz\" is not a hex byte (two hex digits)");
}

TEST_F(RegFile, KeysInAnyOrderReadAsInOrder) {
    // 300 keys below one, some with subkeys, and one named twice; written in order, reversed
    // (past the keys moved aside for a few out of order, which reads them another way), and
    // with one out of place.
    std::vector<std::string> sections;
    for (int i = 0; i < 300; ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "[HKEY_CURRENT_USER\\Software\\Key%03d%s]\n\"v\"=dword:%08x\n\n", i,
                      i % 7 == 0 ? "\\Sub" : "", i);
        sections.push_back(line);
    }
    sections.push_back("[HKEY_CURRENT_USER\\Software\\Key005]\n\"w\"=\"second\"\n\n");
    // The tree's lines, sorted: the same keys and values, whatever the order of a key's values.
    auto read = [&](const std::vector<std::string>& order) {
        std::string all = kHead, error;
        for (const std::string& section : order) all += section;
        host::RegTree tree;
        EXPECT_TRUE(Parse(all, &tree, &error)) << error;
        const host::RegKey* software = tree.roots[host::kCurrentUser].FindSubkey("SOFTWARE");
        for (int i = 0; software != nullptr && i < 300; i += 13)  // found as in order
            EXPECT_NE(software->FindSubkey("key" + std::to_string(1000 + i).substr(1)), nullptr) << i;
        std::istringstream dump(Dump(tree));
        std::vector<std::string> lines;
        for (std::string line; std::getline(dump, line);) lines.push_back(line);
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    std::vector<std::string> reversed(sections.rbegin(), sections.rend()), onceOut = sections;
    std::swap(onceOut[10], onceOut[200]);
    const std::vector<std::string> inOrder = read(sections);
    EXPECT_EQ(inOrder.size(), 3u + 300u + 43u + 301u);  // the roots and Software, its keys, subkeys, values
    EXPECT_EQ(read(reversed), inOrder);
    EXPECT_EQ(read(onceOut), inOrder);
}
