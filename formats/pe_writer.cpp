// PE32 layout: headers (0x400), .text (one tiny entry point), .rsrc (version resource, if any),
// .data (the body), then zero padding up to the requested size. Sections are aligned to 0x1000
// in memory and 0x200 in the file, as linkers lay them out.
#include "formats/pe_writer.h"

#include <vector>

#include "formats/little_endian.h"

namespace pewriter {
namespace {

using formats::Put16;
using formats::Put32;
using formats::PutUtf16;
using formats::Set16;

const uint32_t kFileAlign = 0x200;
const uint32_t kSectionAlign = 0x1000;
const uint32_t kHeadersSize = 0x400;

uint32_t AlignUp(uint32_t value, uint32_t align) { return (value + align - 1) / align * align; }

void Pad4(std::string* out) {
    while (out->size() % 4 != 0) out->push_back('\0');
}

// UTF-8 to UTF-16 code units; a malformed byte stands for itself.
std::u16string Utf16(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t cp = c;
        size_t n = 1;
        if (c >= 0xF0 && i + 3 < text.size()) {
            cp = (c & 0x07u) << 18 | (text[i + 1] & 0x3Fu) << 12 | (text[i + 2] & 0x3Fu) << 6 | (text[i + 3] & 0x3Fu);
            n = 4;
        } else if (c >= 0xE0 && i + 2 < text.size()) {
            cp = (c & 0x0Fu) << 12 | (text[i + 1] & 0x3Fu) << 6 | (text[i + 2] & 0x3Fu);
            n = 3;
        } else if (c >= 0xC0 && i + 1 < text.size()) {
            cp = (c & 0x1Fu) << 6 | (text[i + 1] & 0x3Fu);
            n = 2;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += n;
    }
    return out;
}

void PutWide(std::string* out, const std::u16string& text) {
    PutUtf16(out, text);
    Put16(out, 0);
}

// One node of the version tree: length, value length, type, key, value, children; every part
// starts on a 32-bit boundary, and the length covers the node with its children.
std::string VersionNode(const std::string& key, uint32_t type, const std::string& value,
                        uint32_t valueLength, const std::vector<std::string>& children) {
    std::string node;
    Put16(&node, 0);
    Put16(&node, valueLength);
    Put16(&node, type);
    PutWide(&node, Utf16(key));
    Pad4(&node);
    node += value;
    for (const std::string& child : children) {
        Pad4(&node);
        node += child;
    }
    Set16(&node, 0, static_cast<uint32_t>(node.size()));
    return node;
}

std::string StringNode(const std::string& key, const std::string& text) {
    std::string value;
    std::u16string wide = Utf16(text);
    PutWide(&value, wide);
    return VersionNode(key, 1, value, static_cast<uint32_t>(wide.size() + 1), {});
}

// The four numbers of a text such as "3, 1, 6, 0", for the fixed part; missing ones are 0.
void VersionNumbers(const std::string& text, uint32_t* ms, uint32_t* ls) {
    uint32_t n[4] = {0, 0, 0, 0};
    int field = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            n[field] = (n[field] * 10 + static_cast<uint32_t>(c - '0')) & 0xFFFF;
        } else if ((c == ',' || c == '.') && field < 3) {
            ++field;
        }
    }
    *ms = n[0] << 16 | n[1];
    *ls = n[2] << 16 | n[3];
}

std::string VersionInfo(const std::string& fileVersion, bool dll) {
    uint32_t ms = 0, ls = 0;
    VersionNumbers(fileVersion, &ms, &ls);
    std::string fixed;
    Put32(&fixed, 0xFEEF04BD);  // signature
    Put32(&fixed, 0x00010000);  // structure version
    Put32(&fixed, ms);
    Put32(&fixed, ls);
    Put32(&fixed, ms);          // product version
    Put32(&fixed, ls);
    Put32(&fixed, 0x3F);        // flags mask
    Put32(&fixed, 0);           // flags
    Put32(&fixed, 0x40004);     // VOS_NT_WINDOWS32
    Put32(&fixed, dll ? 2 : 1); // VFT_DLL or VFT_APP
    Put32(&fixed, 0);
    Put32(&fixed, 0);           // date
    Put32(&fixed, 0);
    std::string table = VersionNode("041104b0", 1, "", 0,
                                    {StringNode("FileVersion", fileVersion),
                                     StringNode("ProductVersion", fileVersion)});
    std::string strings = VersionNode("StringFileInfo", 1, "", 0, {table});
    std::string translation;
    Put16(&translation, 0x0411);
    Put16(&translation, 0x04B0);
    std::string var = VersionNode("Translation", 0, translation, 4, {});
    std::string vars = VersionNode("VarFileInfo", 1, "", 0, {var});
    return VersionNode("VS_VERSION_INFO", 0, fixed, static_cast<uint32_t>(fixed.size()), {strings, vars});
}

// Resource section at `rva`: type 16 (RT_VERSION) / name 1 / language 1041 / the version block.
std::string ResourceSection(const std::string& versionInfo, uint32_t rva) {
    std::string s;
    auto directory = [&s](uint32_t id, uint32_t target, bool subdirectory) {
        Put32(&s, 0);  // characteristics
        Put32(&s, 0);  // time stamp
        Put32(&s, 0);  // version
        Put16(&s, 0);  // named entries
        Put16(&s, 1);  // id entries
        Put32(&s, id);
        Put32(&s, subdirectory ? (0x80000000u | target) : target);
    };
    directory(16, 0x18, true);
    directory(1, 0x30, true);
    directory(1041, 0x48, false);
    Put32(&s, rva + 0x58);  // data entry: RVA, size, code page, reserved
    Put32(&s, static_cast<uint32_t>(versionInfo.size()));
    Put32(&s, 0);
    Put32(&s, 0);
    s += versionInfo;
    return s;
}

struct Section {
    const char* name;
    std::string data;
    uint32_t characteristics;
    uint32_t rva = 0;
    uint32_t fileOffset = 0;
};

}  // namespace

bool BuildPe(const PeLayout& layout, std::string* image, std::string* error) {
    std::vector<Section> sections;
    // Entry point: "ret" for an executable, "mov eax, 1; ret 12" (DllMain says TRUE) for a DLL.
    std::string code = layout.dll ? std::string("\xB8\x01\x00\x00\x00\xC2\x0C\x00", 8) : std::string("\xC3", 1);
    sections.push_back({".text", code, 0x60000020});  // code, execute, read
    bool withVersion = !layout.fileVersion.empty();
    if (withVersion) sections.push_back({".rsrc", "", 0x40000040});  // initialised data, read
    sections.push_back({".data", layout.body.empty() ? std::string(4, '\0') : layout.body, 0xC0000040});

    uint32_t rva = kSectionAlign;
    uint32_t offset = kHeadersSize;
    for (Section& section : sections) {
        section.rva = rva;
        section.fileOffset = offset;
        if (std::string(section.name) == ".rsrc") section.data = ResourceSection(VersionInfo(layout.fileVersion, layout.dll), rva);
        rva += AlignUp(static_cast<uint32_t>(section.data.size()), kSectionAlign);
        offset += AlignUp(static_cast<uint32_t>(section.data.size()), kFileAlign);
    }
    if (layout.size != 0 && offset > layout.size) {
        *error = "the image needs " + std::to_string(offset) + " bytes, more than the " +
                 std::to_string(layout.size) + " asked for";
        return false;
    }

    std::string out;
    // DOS header: the magic and the offset of the PE header; no DOS program.
    out += "MZ";
    out.resize(0x3C, '\0');
    Put32(&out, 0x80);
    out.resize(0x80, '\0');
    out += std::string("PE\0\0", 4);
    Put16(&out, 0x14C);                                 // i386
    Put16(&out, static_cast<uint32_t>(sections.size()));
    Put32(&out, 0);                                     // time stamp
    Put32(&out, 0);                                     // symbol table
    Put32(&out, 0);
    Put16(&out, 0xE0);                                  // optional header size
    Put16(&out, layout.dll ? 0x2102 : 0x0102);            // executable, 32-bit (, DLL)
    // Optional header (PE32).
    Put16(&out, 0x10B);
    out += std::string("\x06\x00", 2);                  // linker version
    Put32(&out, AlignUp(static_cast<uint32_t>(code.size()), kFileAlign));  // size of code
    Put32(&out, offset - kHeadersSize - AlignUp(static_cast<uint32_t>(code.size()), kFileAlign));
    Put32(&out, 0);                                     // uninitialised data
    Put32(&out, sections[0].rva);                       // entry point
    Put32(&out, sections[0].rva);                       // base of code
    Put32(&out, sections[1].rva);                       // base of data
    Put32(&out, layout.dll ? 0x10000000 : 0x400000);      // image base
    Put32(&out, kSectionAlign);
    Put32(&out, kFileAlign);
    Put16(&out, 4); Put16(&out, 0);                     // OS version 4.0
    Put16(&out, 0); Put16(&out, 0);                     // image version
    Put16(&out, 4); Put16(&out, 0);                     // subsystem version 4.0
    Put32(&out, 0);
    Put32(&out, rva);                                   // size of image
    Put32(&out, kHeadersSize);
    Put32(&out, 0);                                     // checksum
    Put16(&out, 2);                                     // GUI
    Put16(&out, 0);                                     // DLL characteristics
    Put32(&out, 0x100000); Put32(&out, 0x1000);         // stack reserve, commit
    Put32(&out, 0x100000); Put32(&out, 0x1000);         // heap reserve, commit
    Put32(&out, 0);
    Put32(&out, 16);                                    // data directories
    for (int i = 0; i < 16; ++i) {
        if (i == 2 && withVersion) {
            Put32(&out, sections[1].rva);
            Put32(&out, static_cast<uint32_t>(sections[1].data.size()));
        } else {
            Put32(&out, 0);
            Put32(&out, 0);
        }
    }
    for (const Section& section : sections) {
        std::string name(section.name);
        name.resize(8, '\0');
        out += name;
        Put32(&out, static_cast<uint32_t>(section.data.size()));  // virtual size
        Put32(&out, section.rva);
        Put32(&out, AlignUp(static_cast<uint32_t>(section.data.size()), kFileAlign));
        Put32(&out, section.fileOffset);
        Put32(&out, 0); Put32(&out, 0); Put32(&out, 0);         // relocations, line numbers
        Put32(&out, section.characteristics);
    }
    out.resize(kHeadersSize, '\0');
    for (const Section& section : sections) {
        out += section.data;
        out.resize(AlignUp(static_cast<uint32_t>(out.size()), kFileAlign), '\0');
    }
    if (layout.size != 0) out.resize(layout.size, '\0');
    *image = std::move(out);
    return true;
}

}  // namespace pewriter
