// The registry's journal: a save appends its change and leaves registry.reg alone, a record cut
// off or damaged by a kill or a crash is as if never written and gives way to the next one, a
// journal left from an older registry.reg is ignored, and the journal is folded into the file
// once it outgrows it. The outside reader (machine_view.py) reads the journal as the store does.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/host/machine/host.h"
#include "platform/host/registry/registry_store.h"
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

TEST(RegistryJournal, ARecordCutOffOrDamagedIsAsIfNeverWrittenAndGivesWayToTheNext) {
    struct Case {
        const char* what;
        int keep;  // bytes of the record left; counted from its end when negative, 0: all
        int flip;  // a byte of the record changed, -1: none
    } cases[] = {
        {"a kill after its first byte", 1, -1},
        {"a kill halfway", 20, -1},
        {"a kill inside the commit line", -3, -1},
        {"a crash that lost a byte in the middle", 0, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        const std::string before = Read(m.journal());
        ASSERT_EQ(Set("Lost", "lost"), ERROR_SUCCESS);
        std::string record = Read(m.journal()).substr(before.size());
        if (c.keep != 0)
            record.resize(c.keep > 0 ? static_cast<size_t>(c.keep) : record.size() - static_cast<size_t>(-c.keep));
        if (c.flip >= 0) record[static_cast<size_t>(c.flip)] ^= 0x20;
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
    const std::string view = "/usr/bin/python3 " VK_SOURCE_DIR "/scripts/machine_view.py query " + m.machine.dir() +
                             " 'HKCU\\Software\\Maker'";
    ASSERT_EQ(vktest::RunCommand(view, &out), 0) << out;
    EXPECT_EQ(out, "First\tREG_BINARY\t31\nJournal\tREG_BINARY\t6a\nSet\tREG_BINARY\t0102\n");
}
