// Registry calls as the updater relies on them, on the emulated machine and on Windows alike.
// Everything happens below the test's own key under HKEY_CURRENT_USER.
#include <cstring>
#include <string>

#include "contract/fixture.h"
#include "platform/system.h"

namespace {

LONG Set(HKEY key, const char* name, DWORD type, const std::string& bytes) {
    return platform::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                    static_cast<DWORD>(bytes.size()));
}

// "type:bytes" of a value read with room to spare, or "<error N>".
std::string Read(HKEY key, const char* name) {
    BYTE buffer[256];
    DWORD size = sizeof buffer, type = 0;
    LONG status = platform::RegQueryValueExA(key, name, nullptr, &type, buffer, &size);
    if (status != ERROR_SUCCESS) return "<error " + std::to_string(status) + ">";
    return std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(buffer), size);
}

std::string Sz(const char* text) { return std::string(text, std::strlen(text) + 1); }

}  // namespace

TEST_F(Contract, RegistryValuesKeepExactlyTheGivenBytes) {
    // A REG_SZ of size 0 holds nothing at all.
    ASSERT_EQ(Set(key_, "Empty", REG_SZ, ""), ERROR_SUCCESS);
    EXPECT_EQ(Read(key_, "Empty"), "1:");
    // Six bytes and no NUL. (Windows counts one byte more when the byte after them is a NUL,
    // which is why the source goes on with "X".)
    ASSERT_EQ(platform::RegSetValueExA(key_, "Filter", 0, REG_SZ, reinterpret_cast<const BYTE*>("FilterX"), 6),
              ERROR_SUCCESS);
    char text[16];
    std::memset(text, 'Z', sizeof text);
    DWORD size = sizeof text, type = 0;
    ASSERT_EQ(platform::RegQueryValueExA(key_, "Filter", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);  // the stored length, though a NUL was added after it in the buffer
    EXPECT_STREQ(text, "Filter");
    std::memset(text, 'Z', sizeof text);
    size = 6;  // just enough: nothing is written past it
    ASSERT_EQ(platform::RegQueryValueExA(key_, "Filter", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(text, 7), "FilterZ");

    struct Case {
        const char* name;
        DWORD type;
        std::string bytes;
    } cases[] = {
        {"Terminated", REG_SZ, Sz("Filter")},
        {"Dword", REG_DWORD, std::string("\x2a\x00\x00\x80", 4)},
        {"Qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {"Binary", REG_BINARY, std::string("\x00\xff\x10", 3)},
        {"NoBytes", REG_BINARY, ""},
        {"Expand", REG_EXPAND_SZ, Sz("%SystemRoot%\\system32")},
        {"Multi", REG_MULTI_SZ, std::string("C:\\a.tmp\0!C:\\a.dll\0\0", 20)},
        {"Filter", REG_BINARY, "\x01"},  // setting again replaces type and bytes
    };
    for (const Case& c : cases) ASSERT_EQ(Set(key_, c.name, c.type, c.bytes), ERROR_SUCCESS) << c.name;
    for (const Case& c : cases) EXPECT_EQ(Read(key_, c.name), std::to_string(c.type) + ":" + c.bytes) << c.name;
}

TEST_F(Contract, RegistryQueryReportsSizeAndMoreData) {
    ASSERT_EQ(Set(key_, "Path", REG_SZ, Sz("C:\\Program Files")), ERROR_SUCCESS);
    ASSERT_EQ(Set(key_, "Count", REG_DWORD, std::string("\x07\0\0\0", 4)), ERROR_SUCCESS);
    DWORD type = 0, size = 1234;
    ASSERT_EQ(platform::RegQueryValueExA(key_, "Path", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 17u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    // Too small: ERROR_MORE_DATA with the type and the size needed (the buffer is not to be used).
    BYTE small[4];
    size = sizeof small;
    type = 0;
    EXPECT_EQ(platform::RegQueryValueExA(key_, "Path", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 17u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    size = 2;
    EXPECT_EQ(platform::RegQueryValueExA(key_, "Count", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

    EXPECT_EQ(platform::RegQueryValueExA(key_, "Count", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(Read(key_, "Missing"), "<error 2>");

    // NULL and "" name the default value; values go away and stay away.
    ASSERT_EQ(Set(key_, nullptr, REG_SZ, Sz("default")), ERROR_SUCCESS);
    EXPECT_EQ(Read(key_, ""), "1:" + Sz("default"));
    EXPECT_EQ(platform::RegDeleteValueA(key_, ""), ERROR_SUCCESS);
    EXPECT_EQ(platform::RegDeleteValueA(key_, "COUNT"), ERROR_SUCCESS);
    EXPECT_EQ(Read(key_, nullptr), "<error 2>");
    EXPECT_EQ(Read(key_, "Count"), "<error 2>");
    EXPECT_EQ(platform::RegDeleteValueA(key_, "Count"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Contract, RegistryCreateMakesMissingKeysAndOpenDoesNot) {
    HKEY k = nullptr;
    EXPECT_EQ(platform::RegOpenKeyExA(key_, "Maker", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform::RegOpenKeyA(key_, "Maker\\Product", &k), ERROR_FILE_NOT_FOUND);

    DWORD disposition = 0;
    ASSERT_EQ(platform::RegCreateKeyExA(key_, "Maker\\Product\\Settings", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_ALL_ACCESS, nullptr, &k, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(Set(k, "Level", REG_SZ, Sz("3")), ERROR_SUCCESS);
    platform::RegCloseKey(k);

    // The keys between exist now; names match in any case of their letters.
    HKEY middle = nullptr;
    ASSERT_EQ(platform::RegOpenKeyExA(key_, "maker\\PRODUCT", 0, KEY_READ, &middle), ERROR_SUCCESS);
    ASSERT_EQ(platform::RegCreateKeyExA(middle, "SETTINGS", 0, nullptr, 0, KEY_READ, nullptr, &k, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(Read(k, "level"), "1:" + Sz("3"));
    platform::RegCloseKey(k);
    platform::RegCloseKey(middle);
    ASSERT_EQ(Set(key_, "Version", REG_SZ, Sz("1")), ERROR_SUCCESS);
    ASSERT_EQ(Set(key_, "VERSION", REG_SZ, Sz("2")), ERROR_SUCCESS);
    EXPECT_EQ(Read(key_, "version"), "1:" + Sz("2"));
}

TEST_F(Contract, RegistryHandlesCarryTheirRights) {
    ASSERT_EQ(Set(key_, "Value", REG_SZ, Sz("v")), ERROR_SUCCESS);
    HKEY reader = nullptr, writer = nullptr, plain = nullptr;
    ASSERT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(Read(reader, "Value"), "1:" + Sz("v"));
    EXPECT_EQ(Set(reader, "Value", REG_SZ, Sz("w")), ERROR_ACCESS_DENIED);
    EXPECT_EQ(platform::RegDeleteValueA(reader, "Value"), ERROR_ACCESS_DENIED);

    ASSERT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_SET_VALUE, &writer),
              ERROR_SUCCESS);
    EXPECT_EQ(Read(writer, "Value"), "<error 5>");
    EXPECT_EQ(Set(writer, "Value", REG_SZ, Sz("w")), ERROR_SUCCESS);

    // RegOpenKeyA opens for reading and writing.
    ASSERT_EQ(platform::RegOpenKeyA(HKEY_CURRENT_USER, keyPath_.c_str(), &plain), ERROR_SUCCESS);
    EXPECT_EQ(Read(plain, "Value"), "1:" + Sz("w"));
    EXPECT_EQ(Set(plain, "Other", REG_SZ, Sz("o")), ERROR_SUCCESS);

    for (HKEY k : {reader, writer, plain}) EXPECT_EQ(platform::RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(Read(reader, "Value"), "<error 6>");  // closed
}

TEST_F(Contract, RegistryJapaneseNames) {
    if (platform::GetACP() != 932) GTEST_SKIP() << "needs the Japanese code page (932)";
    // "ア" (83 41) and "ヂ" (83 61) differ only in a trail byte that looks like a letter's case.
    ASSERT_EQ(Set(key_, "\x83\x41", REG_SZ, Sz("a")), ERROR_SUCCESS);
    ASSERT_EQ(Set(key_, "\x83\x61", REG_SZ, Sz("b")), ERROR_SUCCESS);
    EXPECT_EQ(Read(key_, "\x83\x41"), "1:" + Sz("a"));
    EXPECT_EQ(Read(key_, "\x83\x61"), "1:" + Sz("b"));

    // "表" ends in the byte of a backslash: one key name, not two.
    HKEY table = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(platform::RegCreateKeyExA(key_, "\x95\x5c", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &table,
                                        &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    // Japanese text comes back as the same bytes.
    const std::string text = Sz("\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93");  // バージョン
    ASSERT_EQ(Set(table, "\x96\xbc\x91\x4f", REG_SZ, text), ERROR_SUCCESS);
    platform::RegCloseKey(table);
    ASSERT_EQ(platform::RegOpenKeyExA(key_, "\x95\x5c", 0, KEY_READ, &table), ERROR_SUCCESS);
    EXPECT_EQ(Read(table, "\x96\xbc\x91\x4f"), "1:" + text);
    platform::RegCloseKey(table);
}

TEST_F(Contract, RegistryStringLengthLeavingOutTheNul) {
    // The NT family stores one byte more when the length leaves out a NUL that follows the
    // text; a NUL inside the length, or no NUL after it, is stored as given.
    struct Case {
        DWORD type;
        const char* source;  // the bytes at the data pointer, with the NUL the literal adds
        DWORD size;
        std::string stored;
    } cases[] = {
        {REG_SZ, "Filter", 6, Sz("Filter")},
        {REG_EXPAND_SZ, "%SystemRoot%", 12, Sz("%SystemRoot%")},
        {REG_MULTI_SZ, "a\0b", 3, std::string("a\0b\0", 4)},
        {REG_SZ, "FilterX", 6, "Filter"},
        {REG_SZ, "Filter", 7, Sz("Filter")},
        {REG_BINARY, "Filter", 6, "Filter"},
    };
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(platform::GetVersionExA(&version));
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) GTEST_SKIP() << "the NT family's rule";
    for (const Case& c : cases) {
        ASSERT_EQ(platform::RegSetValueExA(key_, "v", 0, c.type, reinterpret_cast<const BYTE*>(c.source), c.size),
                  ERROR_SUCCESS);
        EXPECT_EQ(Read(key_, "v"), std::to_string(c.type) + ":" + c.stored) << c.source << " " << c.size;
    }
}

TEST_F(Contract, RegistryNamesAreComparedAsUtf16WithoutCase) {
    if (platform::GetACP() != 932) GTEST_SKIP() << "needs the Japanese code page (932)";
    // Full-width A/a, Greek alpha/Alpha and Cyrillic a/A (code page 932) are one name each,
    // as key names and as value names.
    const char* pairs[][2] = {{"\x82\x60", "\x82\x81"}, {"\x83\x9f", "\x83\xbf"}, {"\x84\x40", "\x84\x70"}};
    for (const auto& p : pairs) {
        HKEY made = nullptr, opened = nullptr;
        ASSERT_EQ(platform::RegCreateKeyExA(key_, p[0], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(platform::RegOpenKeyExA(key_, p[1], 0, KEY_READ, &opened), ERROR_SUCCESS) << p[1];
        if (opened != nullptr) platform::RegCloseKey(opened);
        platform::RegCloseKey(made);
        ASSERT_EQ(Set(key_, p[0], REG_SZ, Sz("x")), ERROR_SUCCESS);
        EXPECT_EQ(Read(key_, p[1]), "1:" + Sz("x")) << p[1];
    }
    // Different letters stay different.
    EXPECT_EQ(Read(key_, "\x82\x61"), "<error 2>");
}

TEST_F(Contract, RegistryKeyNamesHoldAtMost255Characters) {
    HKEY made = nullptr;
    const std::string longest(255, 'k');
    EXPECT_EQ(platform::RegCreateKeyExA(key_, longest.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made,
                                        nullptr),
              ERROR_SUCCESS);
    if (made != nullptr) platform::RegCloseKey(made);
    made = nullptr;
    const std::string tooLong(300, 'k');
    EXPECT_EQ(platform::RegCreateKeyExA(key_, tooLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made,
                                        nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(made, nullptr);
}

TEST_F(Contract, VersionAcceptsTheExtendedRecord) {
    OSVERSIONINFOA plain = {};
    plain.dwOSVersionInfoSize = sizeof plain;
    ASSERT_TRUE(platform::GetVersionExA(&plain));
    if (plain.dwPlatformId != VER_PLATFORM_WIN32_NT || plain.dwMajorVersion < 5)
        GTEST_SKIP() << "the extended record is known from Windows 2000 on";
    unsigned char record[156];
    std::memset(record, 0xCC, sizeof record);
    OSVERSIONINFOA* extended = reinterpret_cast<OSVERSIONINFOA*>(record);
    extended->dwOSVersionInfoSize = sizeof record;
    ASSERT_TRUE(platform::GetVersionExA(extended));
    EXPECT_EQ(extended->dwMajorVersion, plain.dwMajorVersion);
    EXPECT_EQ(extended->dwPlatformId, plain.dwPlatformId);
    EXPECT_EQ(record[154], 1u);  // product type: a workstation
    unsigned char wrong[152] = {};
    reinterpret_cast<OSVERSIONINFOA*>(wrong)->dwOSVersionInfoSize = sizeof wrong;
    EXPECT_FALSE(platform::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(wrong)));
}
