// The version reader over damaged images: truncated, pointing outside the file, looping or
// overlong. Each gives no value and no read outside the bytes (checked under ASan/UBSan:
// every image lies in a buffer of exactly its size).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "emulator/version/version_reader.h"
#include "formats/pe_writer.h"

namespace {

namespace host = platform::host;

const char kPath[] = "\\StringFileInfo\\041104b0\\FileVersion";

std::string Image() {
    pewriter::PeLayout layout;
    layout.fileVersion = "3, 1, 6, 0";
    std::string image, error;
    EXPECT_TRUE(pewriter::BuildPe(layout, &image, &error)) << error;
    return image;
}

// The FileVersion read from `bytes` through the whole chain, or "" when there is none.
std::string Read(const std::string& bytes) {
    std::vector<unsigned char> image(bytes.begin(), bytes.end());  // exactly its size
    size_t offset = 0, length = 0;
    if (!host::FindVersionResource(image.data(), image.size(), &offset, &length)) return "";
    EXPECT_LE(offset + length, image.size());
    std::vector<unsigned char> block(image.begin() + offset, image.begin() + offset + length);
    size_t tree = host::VersionTreeLength(block.data(), block.size());
    if (tree == 0) return "";
    EXPECT_LE(tree, block.size());
    host::VersionValue value;
    if (!host::FindVersionValue(block.data(), tree, kPath, &value)) return "";
    if (!value.text) return "";
    EXPECT_LE(value.offset + value.length * 2, tree);
    std::string text;
    for (size_t i = 0; i < value.length; ++i) text += static_cast<char>(block[value.offset + i * 2]);
    return text;
}

void Put16(std::string* s, size_t at, uint16_t v) {
    (*s)[at] = static_cast<char>(v & 0xFF);
    (*s)[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string* s, size_t at, uint32_t v) {
    Put16(s, at, static_cast<uint16_t>(v & 0xFFFF));
    Put16(s, at + 2, static_cast<uint16_t>(v >> 16));
}
uint32_t Get32(const std::string& s, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, s.data() + at, 4);  // the test runs little-endian
    return v;
}

// Where `key` (UTF-16) begins in `image`; its node starts 6 bytes before.
size_t KeyAt(const std::string& image, const std::string& key) {
    std::string wide;
    for (char c : key) wide += std::string{c, '\0'};
    size_t at = image.find(wide);
    EXPECT_NE(at, std::string::npos) << key;
    return at;
}

TEST(VersionReader, WholeImageGivesTheText) { EXPECT_EQ(Read(Image()), "3, 1, 6, 0"); }

TEST(VersionReader, EveryTruncationBeforeTheValueEndGivesNothing) {
    std::string image = Image();
    size_t valueEnd = KeyAt(image, "3, 1, 6, 0") + 20;
    for (size_t cut = 0; cut < image.size(); ++cut) {
        std::string text = Read(image.substr(0, cut));
        if (cut < valueEnd) {
            EXPECT_EQ(text, "") << cut;
        } else {
            EXPECT_TRUE(text.empty() || text == "3, 1, 6, 0") << cut;
        }
    }
}

TEST(VersionReader, DamagedHeadersAndTreesGiveNothing) {
    const std::string image = Image();
    uint32_t pe = Get32(image, 0x3C);
    size_t optional = pe + 24;
    size_t resourceEntry = optional + 96 + 2 * 8;
    uint16_t sizeOfOptional = static_cast<uint16_t>(Get32(image, pe + 20) & 0xFFFF);
    size_t sections = optional + sizeOfOptional;
    // The section that holds the resources.
    uint32_t resourceRva = Get32(image, resourceEntry);
    size_t resourceSection = sections;
    while (!(Get32(image, resourceSection + 12) <= resourceRva &&
             resourceRva - Get32(image, resourceSection + 12) < Get32(image, resourceSection + 16))) {
        resourceSection += 40;
        ASSERT_LT(resourceSection, image.size());
    }
    size_t root = KeyAt(image, "VS_VERSION_INFO") - 6;
    size_t table = KeyAt(image, "041104b0") - 6;
    size_t file = KeyAt(image, "FileVersion") - 6;
    ASSERT_LT(file, image.size());
    ASSERT_LT(table, image.size());
    ASSERT_LT(root, image.size());
    struct Damage {
        const char* what;
        size_t at;
        uint32_t value;
        int width;
    };
    const Damage damages[] = {
        {"PE header past the end", 0x3C, 0xFFFFFFF0u, 4},
        {"PE header at the last bytes", 0x3C, static_cast<uint32_t>(image.size() - 2), 4},
        {"resource directory past every section", resourceEntry, 0x7FFFFFF0u, 4},
        {"resource section's raw data past the end", resourceSection + 20, 0xFFFFFF00u, 4},
        {"resource section's raw data at the last byte", resourceSection + 20,
         static_cast<uint32_t>(image.size() - 1), 4},
        {"section count huge", pe + 6, 0xFFFF, 2},
        {"optional header size huge", pe + 20, 0xFFFF, 2},
        {"root length 0xFFFF", root, 0xFFFF, 2},
        {"root length 0", root, 0, 2},
        {"string table length 0 (the walk would loop)", table, 0, 2},
        {"string table length 0xFFFF", table, 0xFFFF, 2},
        {"value node length 2", file, 2, 2},
        {"value node length 0xFFFF", file, 0xFFFF, 2},
        {"value length 0xFFFF", file + 2, 0xFFFF, 2},
    };
    for (const Damage& d : damages) {
        std::string bad = image;
        if (d.width == 2)
            Put16(&bad, d.at, static_cast<uint16_t>(d.value));
        else
            Put32(&bad, d.at, d.value);
        EXPECT_EQ(Read(bad), "") << d.what;
    }
}

TEST(VersionReader, AnyByteOfTheResourceDamagedReadsInsideTheData) {
    std::string image = Image();
    size_t offset = 0, length = 0;
    std::vector<unsigned char> bytes(image.begin(), image.end());
    ASSERT_TRUE(host::FindVersionResource(bytes.data(), bytes.size(), &offset, &length));
    for (size_t at = 0; at < offset + length; ++at) {
        for (unsigned char value : {0x00, 0x7F, 0xFF}) {
            std::string bad = image;
            bad[at] = static_cast<char>(value);
            Read(bad);  // whatever it finds stays inside the data (checked in Read and by ASan)
        }
    }
}

}  // namespace
