// The emulated registry: saved on every change and read back exactly, limited users, injected
// faults, and files it must refuse.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "emulator/machine/host.h"
#include "emulator/registry/registry_store.h"
#include "platform/registry.h"
#include "support/temp_machine.h"

namespace host = platform::host;

namespace {

const BYTE* Bytes(const std::string& s) { return reinterpret_cast<const BYTE*>(s.data()); }

// Stores exactly `data`: the byte after it is no NUL, so no string gets one added.
LONG Set(HKEY key, const char* name, DWORD type, const std::string& data) {
    std::string guarded = data + 'X';
    return platform::RegSetValueExA(key, name, 0, type, Bytes(guarded), static_cast<DWORD>(data.size()));
}

// "type:bytes" of a value, or "<error N>".
std::string Get(HKEY key, const char* name) {
    DWORD type = 0, size = 0;
    LONG status = platform::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return "<error " + std::to_string(status) + ">";
    std::string data(size + 1, '\0');
    status = platform::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    if (status != ERROR_SUCCESS) return "<error " + std::to_string(status) + ">";
    return std::to_string(type) + ":" + data.substr(0, size);
}

HKEY Create(HKEY parent, const char* path, REGSAM access = KEY_ALL_ACCESS, LONG* status = nullptr) {
    HKEY key = nullptr;
    LONG s = platform::RegCreateKeyExA(parent, path, 0, nullptr, 0, access, nullptr, &key, nullptr);
    if (status != nullptr) *status = s;
    return s == ERROR_SUCCESS ? key : nullptr;
}

// What another process opening the machine now reads: "type:bytes" of the value, "<none>"
// when the key holds no such value, "<no key>".
std::string SeenByAnotherProcess(const std::string& dir, int root, const std::string& key, const std::string& name) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return "<no pipe>";
    pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        std::string error, seen = "<cannot open>";
        if (host::OpenMachine(dir, &error)) {
            std::vector<std::string> names;
            DWORD type = 0;
            std::string data;
            host::RegSplitPath(key.c_str(), &names);
            if (host::RegFindKey(host::Registry(), root, names) == nullptr)
                seen = "<no key>";
            else if (host::RegReadSystemValue(root, key, name, &type, &data) != ERROR_SUCCESS)
                seen = "<none>";
            else
                seen = std::to_string(type) + ":" + data;
        }
        ssize_t written = write(pipeFds[1], seen.data(), seen.size());
        _exit(written == static_cast<ssize_t>(seen.size()) ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string seen;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) seen.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    waitpid(pid, nullptr, 0);
    return seen;
}

const char kSeed[] =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Maker\\Product]\n"
    "\"Version\"=\"3.1\"\n\n";

}  // namespace

TEST(RegistryStore, EveryTypeIsSavedAndReadBackExactly) {
    vktest::TempMachine machine;
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker\\\x90\xbb\x95\x69");  // 製品
    ASSERT_NE(key, nullptr);
    struct Case {
        const char* name;
        DWORD type;
        std::string data;
    } cases[] = {
        {"Filter", REG_SZ, "Filter"},
        {"Empty", REG_SZ, ""},
        {"\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93", REG_SZ, std::string("\x95\x5c\x8e\xa6\0", 5)},
        {"Lone", REG_SZ, "\x82"},
        {"Multi", REG_MULTI_SZ, std::string("\\??\\C:\\a\0!\\??\\C:\\b\0\0", 19)},
        {"Dword", REG_DWORD, std::string("\x01\x00\x00\x00", 4)},
        {"Odd", 0x100, "abc"},
        {nullptr, REG_SZ, std::string("default\0", 8)},
    };
    for (const Case& c : cases)
        ASSERT_EQ(Set(key, c.name, c.type, c.data), ERROR_SUCCESS) << (c.name ? c.name : "@");
    platform::RegCloseKey(key);

    machine.Reopen();
    ASSERT_TRUE(host::MachineIsOpen());
    HKEY back = nullptr;
    ASSERT_EQ(
        platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\MAKER\\\x90\xbb\x95\x69", 0, KEY_READ, &back),
        ERROR_SUCCESS);
    for (const Case& c : cases)
        EXPECT_EQ(Get(back, c.name), std::to_string(c.type) + ":" + c.data) << (c.name ? c.name : "@");
    platform::RegCloseKey(back);
}

TEST(RegistryStore, EachChangeIsSavedAtOnce) {
    vktest::TempMachine machine;
    const std::string& dir = machine.dir();
    EXPECT_EQ(SeenByAnotherProcess(dir, host::kCurrentUser, "Software\\Maker", "Level"), "<no key>");
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Maker");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(SeenByAnotherProcess(dir, host::kCurrentUser, "Software\\Maker", "Level"), "<none>");
    ASSERT_EQ(Set(key, "Level", REG_DWORD, std::string("\x05\0\0\0", 4)), ERROR_SUCCESS);
    EXPECT_EQ(SeenByAnotherProcess(dir, host::kCurrentUser, "Software\\Maker", "Level"),
              std::string("4:\x05\0\0\0", 6));
    ASSERT_EQ(Set(key, "LEVEL", REG_SZ, std::string("6\0", 2)), ERROR_SUCCESS);
    EXPECT_EQ(SeenByAnotherProcess(dir, host::kCurrentUser, "Software\\Maker", "level"), std::string("1:6\0", 4));
    ASSERT_EQ(platform::RegDeleteValueA(key, "level"), ERROR_SUCCESS);
    EXPECT_EQ(SeenByAnotherProcess(dir, host::kCurrentUser, "Software\\Maker", "Level"), "<none>");
    platform::RegCloseKey(key);

    // Handles do not outlive the registry they were opened on.
    key = Create(HKEY_CURRENT_USER, "Software\\Maker");
    machine.Reopen();
    EXPECT_EQ(Set(key, "x", REG_SZ, "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(platform::RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST(RegistryStore, AFailedSaveChangesNothing) {
    // The first save of a file written by hand writes it whole; later ones append to the
    // journal, and one cut short by the full disk leaves nothing of itself.
    for (bool journal : {false, true}) {
        SCOPED_TRACE(journal ? "journal" : "whole file");
        vktest::TempMachine machine("", kSeed);
        auto files = [&] {
            return vktest::TempMachine::ReadHostFile(machine.dir() + "/registry.reg") + "|" +
                   vktest::TempMachine::ReadHostFile(machine.dir() + "/registry.journal");
        };
        HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker\\Product");
        ASSERT_NE(key, nullptr);  // exists: nothing to save
        unsigned long limit = 16;  // no file of more than 16 bytes can be written
        if (journal) {
            ASSERT_EQ(Set(key, "Whole", REG_SZ, std::string("1\0", 2)), ERROR_SUCCESS);
            ASSERT_EQ(Set(key, "Journal", REG_SZ, std::string("1\0", 2)), ERROR_SUCCESS);
            // Room for the start of a record only.
            limit = static_cast<unsigned long>(
                        vktest::TempMachine::ReadHostFile(machine.dir() + "/registry.journal").size()) + 20;
        }
        const std::string before = files();
        {
            vktest::FileSizeLimit full(limit);
            EXPECT_EQ(Set(key, "Version", REG_SZ, std::string("4.0\0", 4)), ERROR_CANTWRITE);
            EXPECT_EQ(Get(key, "Version"), std::string("1:3.1\0", 6));
            EXPECT_EQ(platform::RegDeleteValueA(key, "Version"), ERROR_CANTWRITE);
            EXPECT_EQ(Get(key, "Version"), std::string("1:3.1\0", 6));
            LONG status = 0;
            EXPECT_EQ(Create(key, "New\\Deeper", KEY_ALL_ACCESS, &status), nullptr);
            EXPECT_EQ(status, ERROR_CANTWRITE);
            HKEY none = nullptr;
            EXPECT_EQ(platform::RegOpenKeyExA(key, "New", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
            EXPECT_EQ(files(), before);
        }
        platform::RegCloseKey(key);
        EXPECT_EQ(SeenByAnotherProcess(machine.dir(), host::kLocalMachine, "SOFTWARE\\Maker\\Product", "Version"),
                  std::string("1:3.1\0", 6));
        EXPECT_EQ(SeenByAnotherProcess(machine.dir(), host::kLocalMachine, "SOFTWARE\\Maker\\Product\\New", ""),
                  "<no key>");
    }
}

TEST(RegistryStore, MalformedFileIsRefusedAndKept) {
    vktest::TempMachine machine;
    const std::string file = machine.dir() + "/registry.reg";
    const std::string bad = std::string(kSeed) + "\"Broken\"=hex:zz\n";
    vktest::TempMachine::WriteHostFile(file, bad);

    std::string error;
    EXPECT_FALSE(host::OpenMachine(machine.dir(), &error));
    EXPECT_EQ(error, file + ":6: \"zz\" is not a hex byte (two hex digits)");
    EXPECT_FALSE(host::MachineIsOpen());
    // Nothing can be written over it.
    EXPECT_EQ(Create(HKEY_CURRENT_USER, "Software\\Maker"), nullptr);
    EXPECT_EQ(Set(HKEY_CURRENT_USER, "x", REG_SZ, "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(file), bad);
}

TEST(RegistryStore, NamesTheFileCannotHoldAreRefused) {
    vktest::TempMachine machine;
    const std::string before = vktest::TempMachine::ReadHostFile(machine.dir() + "/registry.reg");
    LONG status = 0;
    EXPECT_EQ(Create(HKEY_CURRENT_USER, "Software\\two\nlines", KEY_ALL_ACCESS, &status), nullptr);
    EXPECT_EQ(status, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Set(HKEY_CURRENT_USER, "\x87\x90", REG_SZ, "x"),
              ERROR_INVALID_PARAMETER);  // reads back as 81 E0
    EXPECT_EQ(Set(HKEY_CURRENT_USER, "lone\x82", REG_SZ, "x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(machine.dir() + "/registry.reg"), before);
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(machine.dir() + "/registry.journal"), "");
}

TEST(RegistryLimitedUser, MachineKeysAreReadOnly) {
    vktest::TempMachine machine("[windows]\nadmin = 0\n", kSeed);
    const std::string file = machine.dir() + "/registry.reg";
    const std::string before = vktest::TempMachine::ReadHostFile(file);
    HKEY key = nullptr;
    for (REGSAM write : {KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_WRITE, KEY_ALL_ACCESS})
        EXPECT_EQ(platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker", 0, write, &key),
                  ERROR_ACCESS_DENIED)
            << write;
    LONG status = 0;
    EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker\\Product", KEY_ALL_ACCESS, &status), nullptr);
    EXPECT_EQ(status, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker\\New", KEY_READ, &status), nullptr);
    EXPECT_EQ(status, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Set(HKEY_LOCAL_MACHINE, "x", REG_SZ, "x"), ERROR_ACCESS_DENIED);

    // Reading works, and RegOpenKeyA gives what is allowed: reading only.
    key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker\\Product", KEY_READ);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Get(key, "Version"), std::string("1:3.1\0", 6));
    platform::RegCloseKey(key);
    ASSERT_EQ(platform::RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Maker\\Product", &key), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "Version"), std::string("1:3.1\0", 6));
    EXPECT_EQ(Set(key, "Version", REG_SZ, "4"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(platform::RegDeleteValueA(key, "Version"), ERROR_ACCESS_DENIED);
    platform::RegCloseKey(key);
    EXPECT_EQ(vktest::TempMachine::ReadHostFile(file), before);

    // The user's own keys stay writable.
    key = Create(HKEY_CURRENT_USER, "Software\\Maker");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Set(key, "x", REG_SZ, "x"), ERROR_SUCCESS);
    platform::RegCloseKey(key);

    // The system itself is not limited (a restart clearing pending operations).
    DWORD type = 0;
    std::string data;
    ASSERT_EQ(
        host::RegReadSystemValue(host::kLocalMachine, "software\\maker\\product", "version", &type, &data),
        ERROR_SUCCESS);
    EXPECT_EQ(data, std::string("3.1\0", 4));
    ASSERT_EQ(host::RegDeleteSystemValue(host::kLocalMachine, "SOFTWARE\\Maker\\Product", "Version"),
              ERROR_SUCCESS);
    EXPECT_EQ(SeenByAnotherProcess(machine.dir(), host::kLocalMachine, "SOFTWARE\\Maker\\Product", "Version"),
              "<none>");
    EXPECT_EQ(host::RegDeleteSystemValue(host::kLocalMachine, "SOFTWARE\\Maker\\Product", "Version"),
              ERROR_FILE_NOT_FOUND);
}

TEST(RegistryFaults, InjectedFailuresHitTheChosenCall) {
    vktest::TempMachine machine;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Maker");
    ASSERT_NE(key, nullptr);
    host::FailCall("RegSetValueExA", 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Set(key, "One", REG_SZ, "1"), ERROR_SUCCESS);
    EXPECT_EQ(Set(key, "Two", REG_SZ, "2"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Set(key, "Three", REG_SZ, "3"), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "Two"), "<error 2>");
    EXPECT_EQ(host::CallCount("RegSetValueExA"), 3);

    host::FailCall("RegOpenKeyExA", 1, ERROR_FILE_NOT_FOUND, true);
    HKEY other = nullptr;
    EXPECT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Maker", 0, KEY_READ, &other),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Maker", 0, KEY_READ, &other),
              ERROR_FILE_NOT_FOUND);
    for (const char* call :
         {"RegCreateKeyExA", "RegQueryValueExA", "RegDeleteValueA", "RegCloseKey", "RegOpenKeyA"})
        host::FailCall(call, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(platform::RegCreateKeyExA(key, "x", 0, nullptr, 0, KEY_READ, nullptr, &other, nullptr),
              ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Get(key, "One"), "<error 8>");
    EXPECT_EQ(platform::RegDeleteValueA(key, "One"), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(platform::RegOpenKeyA(key, "x", &other), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(platform::RegCloseKey(key), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(platform::RegCloseKey(key), ERROR_SUCCESS);
}
