// The compiled resources (vkupdate.res) against the scripts they are compiled from, and the
// host's resource calls over them. The dialog template, version block and icon directory are read
// here with small readers of their own, independent of the host's.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "emulator/machine/host.h"
#include "emulator/resources/module_resources.h"
#include "formats/res_file.h"
#include "platform/resources.h"
#include "platform/system.h"
#include "resources/resource.h"
#include "support/rc_script.h"
#include "support/temp_machine.h"
#include "text/text_ids.h"

namespace {

using formats::ResEntry;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Convert(const std::string& text, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::vector<char> out(text.size() * 4 + 16);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size(), outLeft = out.size();
    char* dst = out.data();
    EXPECT_NE(iconv(cd, &in, &inLeft, &dst, &outLeft), static_cast<size_t>(-1)) << text;
    iconv_close(cd);
    return std::string(out.data(), dst);
}

std::string Cp932(const std::string& utf8) { return Convert(utf8, "UTF-8", "CP932"); }

std::string Utf8(const std::u16string& text) {
    return Convert(std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2), "UTF-16LE", "UTF-8");
}

// The .res as built, parsed once for all tests.
struct ResFile {
    std::string bytes = ReadAll(VK_RES_FILE);
    std::vector<ResEntry> entries;
    ResFile() {
        std::string error;
        EXPECT_TRUE(formats::ParseResFile(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(),
                                                 &entries, &error))
            << error;
    }
    const ResEntry* Find(WORD type, WORD id) const {
        for (const ResEntry& e : entries)
            if (!e.type.isString && e.type.ordinal == type && !e.name.isString && e.name.ordinal == id) return &e;
        return nullptr;
    }
    std::string Data(WORD type, WORD id) const {
        const ResEntry* e = Find(type, id);
        return e ? std::string(reinterpret_cast<const char*>(e->data), e->size) : std::string();
    }
};

const ResFile& Res() {
    static const ResFile res;
    return res;
}

// Little-endian reads over a resource's bytes, with bounds checked by the tests' data sizes.
struct Reader {
    const std::string& d;
    size_t at = 0;
    WORD Word() {
        WORD v = at + 2 <= d.size() ? static_cast<WORD>(static_cast<BYTE>(d[at]) | static_cast<BYTE>(d[at + 1]) << 8) : 0;
        at += 2;
        return v;
    }
    DWORD Dword() {
        DWORD low = Word();
        return low | static_cast<DWORD>(Word()) << 16;
    }
    std::u16string String() {
        std::u16string s;
        for (WORD c = Word(); c != 0 && at <= d.size(); c = Word()) s += static_cast<char16_t>(c);
        return s;
    }
    void Align() { at = (at + 3) & ~static_cast<size_t>(3); }
};

// ---- The file and the lookups ----

TEST(ResourceFile, HoldsTheUpdatersResourcesInJapanese) {
    std::set<std::pair<int, int>> expected = {
        {5, IDD_MAIN},   {2, IDB_SIDE_PICTURE}, {2, IDB_LOGO}, {14, IDI_APP}, {10, IDR_WELCOME_TEXT},
        {16, 1},         {24, 1},               {6, 1},        {6, 2},        {6, 3},
        {6, 4},          {6, 782},              {6, 786}};
    std::set<std::pair<int, int>> found;
    int icons = 0;
    for (const ResEntry& e : Res().entries) {
        EXPECT_FALSE(e.type.isString || e.name.isString);
        EXPECT_EQ(e.language, 0x411) << "type " << e.type.ordinal << " id " << e.name.ordinal;
        bool payload = e.type.ordinal == 10 && e.name.ordinal >= 130 && e.name.ordinal <= 170;
        if (e.type.ordinal == 3) {
            ++icons;
        } else if (!payload) {
            EXPECT_TRUE(found.insert({e.type.ordinal, e.name.ordinal}).second);
        }
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(icons, 2);
}

TEST(ResourceFile, EmbeddedResourcesAreTheBuiltFile) {
    const std::vector<ResEntry>& module = platform::host::ModuleResources();
    ASSERT_EQ(module.size(), Res().entries.size());
    for (size_t i = 0; i < module.size(); ++i) {
        EXPECT_EQ(module[i].type.ordinal, Res().entries[i].type.ordinal);
        EXPECT_EQ(module[i].name.ordinal, Res().entries[i].name.ordinal);
        ASSERT_EQ(module[i].size, Res().entries[i].size);
        EXPECT_EQ(std::memcmp(module[i].data, Res().entries[i].data, module[i].size), 0);
    }
}

TEST(ResourceFile, DamagedImagesAreRejected) {
    const std::string& good = Res().bytes;
    std::vector<ResEntry> entries;
    std::string error;
    auto parse = [&](const std::string& b) {
        return formats::ParseResFile(reinterpret_cast<const BYTE*>(b.data()), b.size(), &entries, &error);
    };
    EXPECT_FALSE(parse(good.substr(0, good.size() - 8)));  // last entry's data cut short
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(parse(good.substr(0, 36)));  // a header cut short
    std::string huge = good;
    huge[39] = '\x7f';  // second entry's header size far past the end
    EXPECT_FALSE(parse(huge));
    EXPECT_NE(error.find("offset 32"), std::string::npos) << error;
    // A name without its terminator inside the header.
    std::string entry(32, '\0');
    entry[4] = 32;
    for (int i = 8; i < 32; ++i) entry[i] = 'A';
    EXPECT_FALSE(parse(good.substr(0, 32) + entry));
    EXPECT_TRUE(parse(good.substr(0, 32)));
    EXPECT_TRUE(entries.empty());
}

TEST(ResourceLookup, NeutralLanguageFindsTheWelcomeTextStoredInJapanese) {
    vktest::TempMachine machine;
    HMODULE module = platform::host::ModuleHandle();
    ASSERT_NE(module, nullptr);
    HRSRC found = platform::FindResourceExA(module, RT_RCDATA, MAKEINTRESOURCEA(IDR_WELCOME_TEXT), 0);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(platform::SizeofResource(module, found), 4480u);
    const void* text = platform::LockResource(platform::LoadResource(module, found));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::memcmp(text, Res().Data(10, IDR_WELCOME_TEXT).data(), 4480), 0);

    EXPECT_NE(platform::FindResourceExA(module, RT_RCDATA, MAKEINTRESOURCEA(IDR_WELCOME_TEXT), 0x411), nullptr);
    EXPECT_NE(platform::FindResourceExA(module, RT_RCDATA, MAKEINTRESOURCEA(IDR_WELCOME_TEXT), 0x11), nullptr);
    EXPECT_NE(platform::FindResourceExA(nullptr, RT_RCDATA, "#120", 0), nullptr);
    struct Miss {
        LPCSTR type;
        LPCSTR name;
        WORD language;
        DWORD error;
    } misses[] = {{RT_RCDATA, MAKEINTRESOURCEA(IDR_WELCOME_TEXT), 0x409, ERROR_RESOURCE_LANG_NOT_FOUND},
                  {RT_RCDATA, MAKEINTRESOURCEA(999), 0, ERROR_RESOURCE_NAME_NOT_FOUND},
                  {MAKEINTRESOURCEA(99), MAKEINTRESOURCEA(1), 0, ERROR_RESOURCE_TYPE_NOT_FOUND},
                  {RT_RCDATA, "WELCOME", 0, ERROR_RESOURCE_NAME_NOT_FOUND}};
    for (const Miss& m : misses) {
        EXPECT_EQ(platform::FindResourceExA(module, m.type, m.name, m.language), nullptr);
        EXPECT_EQ(platform::GetLastError(), m.error);
    }
    HMODULE other = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x10000000));
    EXPECT_EQ(platform::FindResourceExA(other, RT_RCDATA, MAKEINTRESOURCEA(IDR_WELCOME_TEXT), 0), nullptr);
    EXPECT_EQ(platform::LoadResource(module, reinterpret_cast<HRSRC>(&machine)), nullptr);
    EXPECT_EQ(platform::SizeofResource(module, nullptr), 0u);

    const BYTE* bytes = nullptr;
    DWORD size = 0;
    EXPECT_TRUE(platform::host::FindResourceBytes(5, IDD_MAIN, &bytes, &size));
    EXPECT_EQ(size, Res().Find(5, IDD_MAIN)->size);
    EXPECT_FALSE(platform::host::FindResourceBytes(5, 103, &bytes, &size));
}

TEST(ResourceLookup, BitmapsLoadByNumber) {
    vktest::TempMachine machine;
    HMODULE module = platform::host::ModuleHandle();
    for (WORD id : {IDB_LOGO, IDB_SIDE_PICTURE}) {
        HBITMAP bitmap = platform::LoadBitmapA(module, MAKEINTRESOURCEA(id));
        EXPECT_NE(bitmap, nullptr) << id;
        EXPECT_TRUE(platform::DeleteObject(bitmap));
    }
    EXPECT_EQ(platform::LoadBitmapA(module, MAKEINTRESOURCEA(IDR_WELCOME_TEXT)), nullptr);  // not a bitmap
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

// ---- The dialog template ----

TEST(ResourceDialog, TemplateHeaderIsTheScripts) {
    vktest::RcDialog want = vktest::ReadRcDialog("IDD_MAIN");
    std::string d = Res().Data(5, IDD_MAIN);
    Reader r{d};
    EXPECT_EQ(r.Word(), 1);       // extended template, version 1
    EXPECT_EQ(r.Word(), 0xFFFF);  // signature
    EXPECT_EQ(r.Dword(), 0u);     // help id
    EXPECT_EQ(r.Dword(), want.exStyle);
    EXPECT_EQ(r.Dword(), want.style);
    EXPECT_EQ(r.Word(), want.controls.size());
    for (short value : {want.x, want.y, want.cx, want.cy}) EXPECT_EQ(static_cast<short>(r.Word()), value);
    EXPECT_EQ(r.Word(), 0);  // no menu
    EXPECT_EQ(r.Word(), 0);  // the standard dialog class
    EXPECT_EQ(Utf8(r.String()), want.caption);
    EXPECT_EQ(r.Word(), want.pointSize);
    EXPECT_EQ(r.Word(), want.weight);
    EXPECT_EQ(r.Word(), want.italic | want.charset << 8);
    EXPECT_EQ(Utf8(r.String()), want.typeface);
}

TEST(ResourceDialog, ControlsAreTheScriptsInOrder) {
    vktest::RcDialog want = vktest::ReadRcDialog("IDD_MAIN");
    ASSERT_EQ(want.controls.size(), 9u);
    std::string d = Res().Data(5, IDD_MAIN);
    Reader r{d};
    r.at = 30;   // past the fixed fields, the empty menu and the standard class
    r.String();  // title
    r.at += 6;
    r.String();  // typeface
    const WORD ordinals[] = {0x80, 0x81, 0x82};
    const char* names[] = {"button", "edit", "static"};
    for (const vktest::RcControl& c : want.controls) {
        SCOPED_TRACE(c.id);
        r.Align();
        EXPECT_EQ(r.Dword(), 0u);  // help id
        EXPECT_EQ(r.Dword(), c.exStyle);
        EXPECT_EQ(r.Dword(), c.style);
        EXPECT_EQ(static_cast<short>(r.Word()), c.x);
        EXPECT_EQ(static_cast<short>(r.Word()), c.y);
        EXPECT_EQ(static_cast<short>(r.Word()), c.cx);
        EXPECT_EQ(static_cast<short>(r.Word()), c.cy);
        EXPECT_EQ(r.Dword(), static_cast<DWORD>(c.id));
        WORD first = r.Word();
        if (first == 0xFFFF) {
            WORD ordinal = r.Word();
            std::string name;
            for (int i = 0; i < 3; ++i)
                if (ordinals[i] == ordinal) name = names[i];
            EXPECT_EQ(name, c.className);
        } else {
            r.at -= 2;
            // windres keeps a class given by name in upper case; window classes ignore case.
            EXPECT_EQ(strcasecmp(Utf8(r.String()).c_str(), c.className.c_str()), 0);
        }
        if (c.textOrdinal >= 0) {
            EXPECT_EQ(r.Word(), 0xFFFF);
            EXPECT_EQ(r.Word(), c.textOrdinal);
        } else {
            EXPECT_EQ(Utf8(r.String()), c.text);
        }
        EXPECT_EQ(r.Word(), 0);  // no creation data
    }
    EXPECT_EQ(r.at, d.size());
}

// ---- The string table ----

TEST(ResourceStrings, EveryEntryLoadsByteForByteInCodePage932) {
    vktest::TempMachine machine;
    ASSERT_EQ(vktest::RcStrings().size(), 22u);
    for (const auto& [id, text] : vktest::RcStrings()) {
        std::string expected = Cp932(text);
        char buffer[512];
        std::memset(buffer, 'x', sizeof buffer);
        int n = platform::LoadStringA(platform::host::ModuleHandle(), id, buffer, 512);
        EXPECT_EQ(n, static_cast<int>(expected.size())) << id;
        EXPECT_EQ(std::string(buffer, std::strlen(buffer)), expected) << id;
        EXPECT_LT(expected.size(), 260u);
        EXPECT_EQ(buffer[n + 1], 'x');  // nothing written past the terminator
    }
}

TEST(ResourceStrings, TableHoldsExactlyTheseEntries) {
    std::set<UINT> expected, found;
    for (const auto& entry : vktest::RcStrings()) expected.insert(entry.first);
    for (const ResEntry& e : Res().entries) {
        if (e.type.ordinal != 6) continue;
        std::string d(reinterpret_cast<const char*>(e.data), e.size);
        Reader r{d};
        for (UINT i = 0; i < 16; ++i) {
            WORD length = r.Word();
            if (length != 0) found.insert((e.name.ordinal - 1u) * 16 + i);
            r.at += 2u * length;
        }
        EXPECT_EQ(r.at, d.size());
    }
    EXPECT_EQ(found, expected);
}

TEST(ResourceStrings, MissingEntriesGiveAnEmptyString) {
    vktest::TempMachine machine;
    for (UINT id : {1u, 8u, 31u, 9999u, 12572u}) {
        char buffer[8] = "stale";
        EXPECT_EQ(platform::LoadStringA(platform::host::ModuleHandle(), id, buffer, sizeof buffer), 0) << id;
        EXPECT_STREQ(buffer, "") << id;
    }
}

TEST(ResourceStrings, SmallBuffersEndOnWholeCharacters) {
    vktest::TempMachine machine;
    HINSTANCE module = platform::host::ModuleHandle();
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(platform::LoadStringA(module, 3, buffer, 7), 5);  // "TARN " and no half of "ア"
    EXPECT_EQ(std::string(buffer, 7), std::string("TARN \0x", 7));
    EXPECT_EQ(platform::LoadStringA(module, 3, buffer, 8), 7);
    EXPECT_EQ(std::string(buffer, 8), "TARN " + Cp932("ア") + std::string(1, '\0'));
    EXPECT_EQ(platform::LoadStringA(module, 3, buffer, 1), 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(platform::LoadStringA(module, 3, nullptr, 10), 0);

    // Every size of buffer gets the longest prefix of whole characters that fits.
    std::string full = Cp932(vktest::RcStrings().at(IDS_NOT_INSTALLED));
    std::vector<size_t> boundaries = {0};
    for (size_t i = 0; i < full.size();) {
        unsigned char c = static_cast<unsigned char>(full[i]);
        i += ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ? 2 : 1;
        boundaries.push_back(i);
    }
    for (int size = 1; size <= static_cast<int>(full.size()) + 2; ++size) {
        std::vector<char> out(static_cast<size_t>(size) + 1, 'x');
        int n = platform::LoadStringA(module, 0, out.data(), size);
        size_t want = 0;
        for (size_t b : boundaries)
            if (b <= static_cast<size_t>(size - 1)) want = b;
        ASSERT_EQ(n, static_cast<int>(want)) << size;
        EXPECT_EQ(std::string(out.data(), want), full.substr(0, want));
        EXPECT_EQ(out[want], '\0');
        EXPECT_EQ(out[static_cast<size_t>(size)], 'x');
    }
}

TEST(ResourceStrings, OtherCodePagesGetWhatTheyCanHold) {
    vktest::TempMachine machine("[windows]\ncodepage = 1252\n");
    char buffer[512];
    EXPECT_EQ(platform::LoadStringA(platform::host::ModuleHandle(), 3, buffer, sizeof buffer), 12);
    EXPECT_STREQ(buffer, "TARN ???????");
    EXPECT_EQ(platform::LoadStringA(platform::host::ModuleHandle(), 12502, buffer, sizeof buffer), 13);
    EXPECT_STREQ(buffer, "Orvane\\VkTARN");
}

// ---- Welcome text, pictures, icon, version block, manifest ----

TEST(ResourceWelcome, CodePage932TextWithCrLfAndTwoNuls) {
    std::string d = Res().Data(10, IDR_WELCOME_TEXT);
    ASSERT_EQ(d.size(), 4480u);
    EXPECT_EQ(d.find('\0'), 4478u);
    EXPECT_EQ(d[4479], '\0');
    std::string text = d.substr(0, 4478);
    for (size_t i = 0; i < text.size(); ++i) {
        bool crlf = text[i] == '\r' ? i + 1 < text.size() && text[i + 1] == '\n'
                    : text[i] == '\n' ? i > 0 && text[i - 1] == '\r'
                                      : true;
        EXPECT_TRUE(crlf) << "lone CR or LF at " << i;
    }
    std::string utf8 = Convert(text, "CP932", "UTF-8");
    for (const char* needed : {"Ver 1.82", "Ver 3.15", "Ver 3.16", "使用許諾", "「開始」"})
        EXPECT_NE(utf8.find(needed), std::string::npos) << needed;
}

struct Bitmap {
    DWORD headerSize, width, height;
    WORD planes, bits;
    DWORD compression, colours;
};

Bitmap ReadBitmapHeader(const std::string& d) {
    Reader r{d};
    Bitmap b{};
    b.headerSize = r.Dword();
    b.width = r.Dword();
    b.height = r.Dword();
    b.planes = r.Word();
    b.bits = r.Word();
    b.compression = r.Dword();
    r.at += 12;
    b.colours = r.Dword();
    return b;
}

TEST(ResourceImages, BitmapsAre8BitWithFullPalettes) {
    struct {
        WORD id;
        DWORD width, height;
    } bitmaps[] = {{IDB_SIDE_PICTURE, 144, 216}, {IDB_LOGO, 110, 28}};
    for (const auto& want : bitmaps) {
        std::string d = Res().Data(2, want.id);
        Bitmap b = ReadBitmapHeader(d);
        EXPECT_EQ(b.headerSize, 40u);
        EXPECT_EQ(b.width, want.width);
        EXPECT_EQ(b.height, want.height);
        EXPECT_EQ(b.planes, 1);
        EXPECT_EQ(b.bits, 8);
        EXPECT_EQ(b.compression, 0u);  // BI_RGB
        EXPECT_TRUE(b.colours == 0 || b.colours == 256);
        EXPECT_EQ(d.size(), 40 + 1024 + ((want.width + 3) & ~3u) * want.height) << want.id;
    }
    std::string logo = Res().Data(2, IDB_LOGO);
    EXPECT_EQ(logo.substr(40 + 255 * 4, 3), "\xFF\xFF\xFF");
    const size_t stride = 112, pixels = 40 + 1024;
    for (size_t y = 0; y < 28; ++y) {
        for (size_t x = 0; x < 110; ++x) {
            if (y != 0 && y != 27 && x != 0 && x != 109) continue;
            ASSERT_EQ(static_cast<BYTE>(logo[pixels + y * stride + x]), 255) << x << "," << y;
        }
    }
}

TEST(ResourceImages, IconGroupHasTwo4BitImages) {
    std::string group = Res().Data(14, IDI_APP);
    Reader r{group};
    EXPECT_EQ(r.Word(), 0);
    EXPECT_EQ(r.Word(), 1);  // icons
    ASSERT_EQ(r.Word(), 2);
    for (int size : {32, 16}) {
        EXPECT_EQ(static_cast<BYTE>(group[r.at]), size);
        EXPECT_EQ(static_cast<BYTE>(group[r.at + 1]), size);
        r.at += 4;
        EXPECT_EQ(r.Word(), 1);  // planes
        EXPECT_EQ(r.Word(), 4);  // bits per pixel
        DWORD bytes = r.Dword();
        WORD id = r.Word();
        std::string image = Res().Data(3, id);
        EXPECT_EQ(image.size(), bytes);
        Bitmap b = ReadBitmapHeader(image);
        EXPECT_EQ(b.width, static_cast<DWORD>(size));
        EXPECT_EQ(b.height, static_cast<DWORD>(2 * size));  // colour and mask
        EXPECT_EQ(b.bits, 4);
    }
}

// One node of a version block: length, value length, type, key, value, children.
struct VersionNode {
    std::string key;
    std::string value;  // raw bytes
    std::vector<VersionNode> children;
};

VersionNode ReadVersionNode(const std::string& d, size_t at) {
    Reader r{d, at};
    size_t end = at + r.Word();
    WORD valueLength = r.Word();
    WORD type = r.Word();
    VersionNode node;
    node.key = Utf8(r.String());
    r.Align();
    size_t valueBytes = type == 1 ? valueLength * 2u : valueLength;  // text values count characters
    node.value = d.substr(r.at, valueBytes);
    r.at += valueBytes;
    r.Align();
    while (r.at + 6 <= end) {
        size_t length = static_cast<BYTE>(d[r.at]) | static_cast<BYTE>(d[r.at + 1]) << 8;
        if (length == 0) break;
        node.children.push_back(ReadVersionNode(d, r.at));
        r.at += length;
        r.Align();
    }
    return node;
}

const VersionNode* Child(const VersionNode& node, const std::string& key) {
    for (const VersionNode& c : node.children)
        if (c.key == key) return &c;
    return nullptr;
}

std::string TextValue(const VersionNode* node) {
    if (node == nullptr) return "(missing)";
    std::u16string text;
    for (size_t i = 0; i + 1 < node->value.size(); i += 2) {
        char16_t c = static_cast<char16_t>(static_cast<BYTE>(node->value[i]) | static_cast<BYTE>(node->value[i + 1]) << 8);
        if (c == 0) break;
        text += c;
    }
    return Utf8(text);
}

TEST(ResourceVersion, FixedInfoStringsAndTranslation) {
    std::string d = Res().Data(16, 1);
    VersionNode root = ReadVersionNode(d, 0);
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    ASSERT_EQ(root.value.size(), 52u);
    Reader fixed{root.value};
    EXPECT_EQ(fixed.Dword(), 0xFEEF04BDu);
    fixed.Dword();                               // structure version
    EXPECT_EQ(fixed.Dword(), 0x00030001u);       // file version 3.1
    EXPECT_EQ(fixed.Dword(), 0x00060000u);       //              6.0
    EXPECT_EQ(fixed.Dword(), 0x00030001u);       // product version
    EXPECT_EQ(fixed.Dword(), 0x00060000u);
    fixed.at += 8;                               // flags mask, flags
    EXPECT_EQ(fixed.Dword(), 0x40004u);          // VOS_NT_WINDOWS32
    EXPECT_EQ(fixed.Dword(), 1u);                // VFT_APP

    const VersionNode* info = Child(root, "StringFileInfo");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->children.size(), 1u);
    const VersionNode& table = info->children[0];
    EXPECT_EQ(table.key, "041104b0");
    EXPECT_EQ(TextValue(Child(table, "FileVersion")), "3, 1, 6, 0");
    EXPECT_EQ(TextValue(Child(table, "ProductVersion")), "3, 1, 6, 0");
    EXPECT_EQ(TextValue(Child(table, "FileDescription")), "Velkor TARN アップデーター");

    const VersionNode* var = Child(root, "VarFileInfo");
    ASSERT_NE(var, nullptr);
    const VersionNode* translation = Child(*var, "Translation");
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation->value, std::string("\x11\x04\xB0\x04", 4));
}

TEST(ResourceManifest, AsksForAdministratorAndNothingElse) {
    std::string manifest = Res().Data(24, 1);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"),
              std::string::npos);
    EXPECT_EQ(manifest.find("dependency"), std::string::npos);
}

}  // namespace
