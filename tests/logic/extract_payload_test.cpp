#include <gtest/gtest.h>

#include <string>

#include "logic/logic_fixture.h"
#include "payload/extract_payload.h"
#include "payload/payload_table.h"
#include "platform/resources.h"
#include "tools/mkpayloads/payload_lengths.h"

namespace {

using Payloads = Logic;

const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

// The bytes of RCDATA `id` in `language`, or "<none>".
std::string Resource(WORD id, WORD language) {
    HRSRC found = platform::FindResourceExA(TestModule(), RT_RCDATA, MAKEINTRESOURCEA(id), language);
    if (found == nullptr) return "<none>";
    HGLOBAL loaded = platform::LoadResource(TestModule(), found);
    const char* bytes = static_cast<const char*>(platform::LockResource(loaded));
    return std::string(bytes, platform::SizeofResource(TestModule(), found));
}

uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<unsigned char>(bytes[at + k]);
    return v;
}

TEST_F(Payloads, EveryIndexHasItsSzddResourceInJapanese) {
    const std::string magic("SZDD\x88\xF0\x27\x33", 8);
    for (const PayloadLength& length : PayloadLengths) {
        WORD id = static_cast<WORD>(length.payloadIndex + PAYLOAD_RESOURCE_BASE);
        std::string bytes = Resource(id, kJapanese);
        ASSERT_NE(bytes, "<none>") << id;
        ASSERT_GE(bytes.size(), 14u) << id;
        EXPECT_EQ(bytes.substr(0, 8), magic) << id;
        EXPECT_EQ(bytes[8], 'A') << id;
        EXPECT_EQ(bytes[9], '\0') << id;
#ifndef VK_PAYLOAD_RELEASE_BUILD
        EXPECT_EQ(Le32(bytes, 10), length.expanded) << id;
        EXPECT_EQ(bytes.size(), length.stored) << id;
#endif
    }
    // Every row's index has a resource, and the two identifiers around the range have none.
    for (const PayloadEntry& row : PayloadTable)
        EXPECT_NE(Resource(static_cast<WORD>(row.payloadIndex + PAYLOAD_RESOURCE_BASE), 0), "<none>") << row.tempName;
    EXPECT_EQ(Resource(129, 0), "<none>");
    EXPECT_EQ(Resource(171, 0), "<none>");
}

TEST_F(Payloads, ExtractWritesTheResourceUnderTheGivenName) {
    struct Case {
        uint32_t index;
        const char* name;
        WORD id;
    };
    const Case cases[] = {{1, "vk001.tmp", 130}, {32, "VK032.TMP", 161}, {39, "vk039.tmp", 168}, {41, "vk041.tmp", 170}};
    for (const Case& c : cases) {
        ASSERT_EQ(ExtractPayload(folder_.c_str(), c.name, c.index), 0) << c.name;
        EXPECT_EQ(ReadAll(c.name), Resource(c.id, 0)) << c.name;
        WIN32_FIND_DATAA found;
        HANDLE search = platform::FindFirstFileA(Path(c.name).c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE) << c.name;
        EXPECT_STREQ(found.cFileName, c.name);  // the case of the name as given
        platform::FindClose(search);
    }
}

TEST_F(Payloads, FolderWithOrWithoutBackslashAndAnOldLongerFile) {
    const std::string expected = Resource(PAYLOAD_RESOURCE_BASE + 3, 0);
    ASSERT_EQ(ExtractPayload(folder_.c_str(), "a.tmp", 3), 0);
    ASSERT_EQ(ExtractPayload((folder_ + "\\").c_str(), "b.tmp", 3), 0);
    EXPECT_EQ(ReadAll("a.tmp"), expected);
    EXPECT_EQ(ReadAll("b.tmp"), expected);

    MakeFile("c.tmp", std::string(expected.size() * 3, 'x'));
    ASSERT_EQ(ExtractPayload(folder_.c_str(), "c.tmp", 3), 0);
    EXPECT_EQ(ReadAll("c.tmp"), expected);
}

TEST_F(Payloads, FailuresReturnOneAndLeaveNoFile) {
    EXPECT_EQ(ExtractPayload(folder_.c_str(), "none0.tmp", 0), 1);
    EXPECT_EQ(ReadAll("none0.tmp"), "<missing>");
    EXPECT_EQ(ExtractPayload(folder_.c_str(), "none42.tmp", 42), 1);
    EXPECT_EQ(ReadAll("none42.tmp"), "<missing>");
    EXPECT_EQ(ExtractPayload(Path("no such folder").c_str(), "vk001.tmp", 1), 1);
    // A path that does not fit 270 bytes is refused, not cut short.
    std::string longName(300, 'n');
    EXPECT_EQ(ExtractPayload(folder_.c_str(), longName.c_str(), 1), 1);
}

}  // namespace
