// The registry's journal: a save appends its change and leaves registry.reg alone, a record cut
// off by a kill is as if never written and gives way to the next one, a damaged journal refuses
// the machine and is kept as it is, a journal left from an older registry.reg is ignored, and the journal is folded into the file
// once it outgrows it. The outside reader (machine_view.py) reads the journal as the store does.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "emulator/machine/host.h"
#include "emulator/registry/registry_store.h"
#include "platform/registry.h"
#include "support/run_command.h"
#include "support/temp_machine.h"

namespace host = platform::host;

namespace {

const char kKey[] = "Software\\Maker";

LONG Set(const char* name, const std::string& data) {
    HKEY key = nullptr;
    LONG status = platform::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                            nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = platform::RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                                      static_cast<DWORD>(data.size()));
    platform::RegCloseKey(key);
    return status;
}

LONG Delete(const char* name) {
    HKEY key = nullptr;
    LONG status = platform::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) return status;
    status = platform::RegDeleteValueA(key, name);
    platform::RegCloseKey(key);
    return status;
}

// The value's bytes as the registry now holds them, "<none>" when it holds none.
std::string Get(const char* name) {
    DWORD type = 0;
    std::string data;
    return host::RegReadSystemValue(host::kCurrentUser, kKey, name, &type, &data) == ERROR_SUCCESS ? data : "<none>";
}

std::string Read(const std::string& path) { return vktest::TempMachine::ReadHostFile(path); }

ino_t Inode(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// A machine whose registry.reg holds `count` values besides kKey, written from outside, then
// changed twice as a machine in use is: registry.reg written whole once, and a journal.
struct Machine {
    explicit Machine(int count = 0) : machine("", Registry(count)) {
        EXPECT_EQ(Set("First", "1"), ERROR_SUCCESS);    // written whole, with its journal's stamp
        EXPECT_EQ(Set("Journal", "j"), ERROR_SUCCESS);  // the journal begins
    }
    static std::string Registry(int count) {
        std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Many]\n";
        for (int i = 0; i < count; ++i) text += "\"Value " + std::to_string(i) + "\"=dword:0000002a\n";
        return text + "\n";
    }
    std::string reg() const { return machine.dir() + "/registry.reg"; }
    std::string journal() const { return machine.dir() + "/registry.journal"; }
    vktest::TempMachine machine;
};

}  // namespace

TEST(RegistryJournal, ASaveAppendsItsChangeAndLeavesTheFileAlone) {
    Machine m(5000);
    const std::string file = Read(m.reg());
    const ino_t inode = Inode(m.reg());
    ASSERT_EQ(Set("Second", "2"), ERROR_SUCCESS);
    size_t journal = Read(m.journal()).size();
    ASSERT_EQ(Set("Third", "3"), ERROR_SUCCESS);
    ASSERT_EQ(Delete("second"), ERROR_SUCCESS);
    // What the two saves wrote: a few lines each, whatever the registry holds.
    EXPECT_LT(Read(m.journal()).size() - journal, 200u);
    EXPECT_EQ(Read(m.reg()), file);
    EXPECT_EQ(Inode(m.reg()), inode);
    m.machine.Reopen();
    EXPECT_EQ(Get("First"), "1");
    EXPECT_EQ(Get("Second"), "<none>");
    EXPECT_EQ(Get("Third"), "3");
    DWORD type = 0;
    std::string data;
    EXPECT_EQ(host::RegReadSystemValue(host::kLocalMachine, "SOFTWARE\\Many", "value 4999", &type, &data),
              ERROR_SUCCESS);
}

TEST(RegistryJournal, ARecordCutOffIsAsIfNeverWrittenAndGivesWayToTheNext) {
    struct Case {
        const char* what;
        int keep;  // bytes of the record left; counted from its end when negative
    } cases[] = {
        {"a kill after its first byte", 1},
        {"a kill halfway", 20},
        {"a kill inside the commit line", -3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        const std::string before = Read(m.journal());
        ASSERT_EQ(Set("Lost", "lost"), ERROR_SUCCESS);
        std::string record = Read(m.journal()).substr(before.size());
        record.resize(c.keep > 0 ? static_cast<size_t>(c.keep) : record.size() - static_cast<size_t>(-c.keep));
        vktest::TempMachine::WriteHostFile(m.journal(), before + record);

        m.machine.Reopen();
        EXPECT_EQ(Get("First"), "1");
        EXPECT_EQ(Get("Lost"), "<none>");
        ASSERT_EQ(Set("Next", "next"), ERROR_SUCCESS);
        m.machine.Reopen();
        EXPECT_EQ(Get("Next"), "next");
        EXPECT_EQ(Get("Lost"), "<none>");
        // The record took the place of what was cut off.
        EXPECT_EQ(Read(m.journal()).find("Lost"), std::string::npos);
    }
}

// Damage anywhere in a journal (a disk error, an editor, a bad copy) loses nothing: the
// machine is refused with the file and a line of the damage, and both files stay as they were
// until someone repairs them. Each line of a journal in use is damaged in turn.
TEST(RegistryJournal, ADamagedJournalRefusesTheMachineAndKeepsBothFiles) {
    Machine m;
    ASSERT_EQ(Set("Long", std::string(200, 'L')), ERROR_SUCCESS);  // continued lines
    ASSERT_EQ(Delete("First"), ERROR_SUCCESS);
    ASSERT_EQ(Set("Last", "z"), ERROR_SUCCESS);
    const std::string reg = Read(m.reg()), journal = Read(m.journal());
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < journal.size();) {
        size_t end = journal.find('\n', pos) + 1;
        lines.push_back(journal.substr(pos, end - pos));
        pos = end;
    }
    ASSERT_GT(lines.size(), 15u);
    struct Damage {
        const char* what;
        std::string (*line)(const std::string& line);  // what becomes of the damaged line
    } damages[] = {
        {"replaced by junk", [](const std::string&) { return std::string("garbage\n"); }},
        {"junk put before it", [](const std::string& l) { return "garbage\n" + l; }},
        {"its first byte changed", [](const std::string& l) { return static_cast<char>(l[0] ^ 0x01) + l.substr(1); }},
        {"lost", [](const std::string&) { return std::string(); }},
    };
    m.machine.Reopen();
    host::CloseMachine();
    for (const Damage& d : damages) {
        for (size_t i = 0; i < lines.size(); ++i) {
            SCOPED_TRACE(std::string(d.what) + ", line " + std::to_string(i + 1) + ": " + lines[i]);
            // The last commit line lost is a kill before it: a record cut off, tested above.
            if (std::string(d.what) == "lost" && i + 1 == lines.size()) continue;
            std::string damaged;
            for (size_t j = 0; j < lines.size(); ++j) damaged += j == i ? d.line(lines[j]) : lines[j];
            vktest::TempMachine::WriteHostFile(m.journal(), damaged);
            std::string error;
            EXPECT_FALSE(host::OpenMachine(m.machine.dir(), &error));
            const std::string named = m.journal() + ":";
            ASSERT_EQ(error.compare(0, named.size(), named), 0) << error;
            int line = std::atoi(error.c_str() + named.size());
            EXPECT_TRUE(line >= 1 && line <= static_cast<int>(lines.size()) + 1) << error;
            EXPECT_EQ(error.find('\n'), std::string::npos) << error;
            EXPECT_EQ(Read(m.reg()), reg);
            EXPECT_EQ(Read(m.journal()), damaged);
            // The outside reader refuses it as well.
            if (&d != &damages[0] && &d != &damages[2]) continue;
            std::string out;
            EXPECT_EQ(vktest::RunCommand("/usr/bin/python3 " VK_SOURCE_DIR "/tools/pylib/machine_view.py query " +
                                             m.machine.dir() + " 'HKCU\\Software\\Maker'",
                                         &out),
                      1);
            EXPECT_EQ(out.compare(0, 14 + named.size(), "machine_view: " + named), 0) << out;
        }
    }
    // A tool refuses it in one line and writes nothing either.
    std::string damaged = journal;
    damaged.insert(lines[0].size() + lines[1].size() + lines[2].size() + lines[3].size(), "garbage\n");
    vktest::TempMachine::WriteHostFile(m.journal(), damaged);
    std::string out;
    EXPECT_EQ(vktest::RunCommand(std::string(VK_BINARY_DIR) + "/vkmachine set-value " + m.machine.dir() +
                                     " 'HKCU\\Software\\Maker' New REG_SZ --text n",
                                 &out),
              1);
    EXPECT_EQ(out.compare(0, 11 + m.journal().size() + 1, "vkmachine: " + m.journal() + ":"), 0) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_EQ(Read(m.reg()), reg);
    EXPECT_EQ(Read(m.journal()), damaged);
    vktest::TempMachine::WriteHostFile(m.journal(), journal);
    m.machine.Reopen();
    EXPECT_EQ(Get("Last"), "z");
}

TEST(RegistryJournal, AJournalLeftFromAnOlderFileIsIgnored) {
    Machine m;
    ASSERT_EQ(Set("Gone", "x"), ERROR_SUCCESS);
    const std::string old = Read(m.journal());
    ASSERT_EQ(Delete("Gone"), ERROR_SUCCESS);
    // A value as large as the fold's threshold: the journal is folded into registry.reg.
    ASSERT_EQ(Set("Large", std::string(300 * 1024, 'L')), ERROR_SUCCESS);
    EXPECT_EQ(Read(m.journal()), "");
    EXPECT_NE(Read(m.reg()).find("\"Large\"=hex:4c,4c"), std::string::npos);
    // Killed after the new registry.reg, before the old journal was removed.
    vktest::TempMachine::WriteHostFile(m.journal(), old);
    m.machine.Reopen();
    EXPECT_EQ(Get("Gone"), "<none>");
    EXPECT_EQ(Get("Large").size(), 300u * 1024);
    ASSERT_EQ(Set("After", "a"), ERROR_SUCCESS);
    m.machine.Reopen();
    EXPECT_EQ(Get("Gone"), "<none>");
    EXPECT_EQ(Get("After"), "a");
}

TEST(RegistryJournal, TheOutsideReaderReadsTheJournalAsTheStoreDoes) {
    Machine m;
    ASSERT_EQ(Set("Set", "\x01\x02"), ERROR_SUCCESS);
    ASSERT_EQ(Set("Dropped", "d"), ERROR_SUCCESS);
    ASSERT_EQ(Delete("Dropped"), ERROR_SUCCESS);
    const std::string before = Read(m.journal());
    ASSERT_EQ(Set("Cut", "c"), ERROR_SUCCESS);
    vktest::TempMachine::WriteHostFile(m.journal(), Read(m.journal()).substr(0, before.size() + 10));
    std::string out;
    const std::string view = "/usr/bin/python3 " VK_SOURCE_DIR "/tools/pylib/machine_view.py query " + m.machine.dir() +
                             " 'HKCU\\Software\\Maker'";
    ASSERT_EQ(vktest::RunCommand(view, &out), 0) << out;
    EXPECT_EQ(out, "First\tREG_BINARY\t31\nJournal\tREG_BINARY\t6a\nSet\tREG_BINARY\t0102\n");
}
