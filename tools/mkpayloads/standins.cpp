// Stand-ins: PE images for programs, libraries and drivers, an MZ/LE image for VxDs, INI text
// and application manifests. Each is a part that looks like its kind, `structured` bytes long,
// then filler that compresses well (zero bytes, comment lines, spaces). The structured part is
// sized so that the best parse is smaller than the stored length; the token stream is then
// made dearer until it is exactly that length.
#include "tools/mkpayloads/standins.h"

#include <algorithm>
#include <vector>

#include "formats/pe_writer.h"
#include "formats/szdd.h"

namespace mkpayloads {
namespace {

const char kVersion[] = "3, 1, 6, 0";

enum class Kind { Program, Library, Vxd, Ini, Manifest };

Kind KindOf(const std::string& path) {
    std::string upper;
    for (char c : path) upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    auto endsWith = [&](const char* tail) {
        std::string t = tail;
        return upper.size() >= t.size() && upper.compare(upper.size() - t.size(), t.size(), t) == 0;
    };
    if (endsWith(".EXE")) return Kind::Program;
    if (endsWith(".VXD")) return Kind::Vxd;
    if (endsWith(".INI")) return Kind::Ini;
    if (endsWith(".MANIFEST")) return Kind::Manifest;
    return Kind::Library;  // .DLL, .SYS
}

// xorshift32: the same seed gives the same stand-in on every build.
struct Random {
    uint32_t state;
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
};

// Machine-code-like bytes: short runs drawn mostly from common opcodes, and repeats of
// earlier stretches, as compiled code has.
std::string CodeBytes(uint32_t seed, size_t size) {
    static const unsigned char kCommon[] = {0x8B, 0x89, 0xE8, 0xFF, 0x55, 0x00, 0x83, 0xC4, 0x50, 0x51,
                                            0x6A, 0x74, 0x75, 0xEB, 0x33, 0xC0, 0x5D, 0xC3, 0x8D, 0x45};
    Random r{seed * 2654435761u + 1};
    std::string out;
    out.reserve(size);
    while (out.size() < size) {
        if (out.size() > 64 && r.Below(3) == 0) {
            size_t len = 4 + r.Below(24);
            size_t back = 8 + r.Below(static_cast<uint32_t>(std::min<size_t>(out.size() - 8, 3000)));
            size_t from = out.size() - back;
            for (size_t k = 0; k < len && out.size() < size; ++k) out.push_back(out[from + k]);
        } else {
            size_t len = 1 + r.Below(6);
            for (size_t k = 0; k < len && out.size() < size; ++k)
                out.push_back(static_cast<char>(r.Below(2) ? kCommon[r.Below(sizeof kCommon)] : r.Below(256)));
        }
    }
    return out;
}

// INI text: sections of settings, then comment lines.
std::string IniText(uint32_t seed, size_t structured, size_t size) {
    static const char* const kKeys[] = {"Drive", "Speed", "Buffer", "Verify", "Eject", "Path", "Mode",
                                         "Retry", "Window", "Font", "Color", "Sound", "Lang", "Log"};
    Random r{seed * 2654435761u + 7};
    std::string out = "; Velkor TARN settings\r\n";
    int section = 0;
    while (out.size() < structured) {
        if (section == 0 || r.Below(10) == 0) out += "\r\n[Section" + std::to_string(++section) + "]\r\n";
        out += std::string(kKeys[r.Below(14)]) + std::to_string(r.Below(40)) + "=" +
               std::to_string(r.Below(r.Below(2) ? 10 : 100000)) + "\r\n";
    }
    out.resize(std::min(out.size(), structured));
    const std::string comment = "\r\n;------------------------------------------------------------";
    while (out.size() < size) out += comment;
    out.resize(size - 2);
    out += "\r\n";
    return out;
}

// An application manifest padded with spaces inside the root element to `size` bytes.
std::string ManifestText(const std::string& targetPath, size_t size) {
    std::string program = targetPath.substr(0, targetPath.find('.'));
    std::string head =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
        "<assemblyIdentity version=\"3.1.6.0\" processorArchitecture=\"X86\" name=\"Orvane.VkTARN." +
        program +
        "\" type=\"win32\"/>\r\n"
        "<description>" +
        program +
        "</description>\r\n"
        "<dependency>\r\n<dependentAssembly>\r\n"
        "<assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
        "processorArchitecture=\"X86\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>\r\n"
        "</dependentAssembly>\r\n</dependency>\r\n";
    const std::string tail = "</assembly>\r\n";
    if (head.size() + tail.size() > size) return std::string();
    return head + std::string(size - head.size() - tail.size(), ' ') + tail;
}

// An MZ header pointing at an LE header, then code: the shape of a VxD.
std::string VxdImage(uint32_t seed, size_t structured, size_t size) {
    std::string out(0x80, '\0');
    out[0] = 'M';
    out[1] = 'Z';
    out[0x18] = 0x40;  // relocation table offset: a new-format executable
    out[0x3C] = static_cast<char>(0x80);
    out += "LE";
    out.resize(0x200, '\0');
    out += CodeBytes(seed, structured);
    out.resize(size, '\0');
    return out;
}

bool Content(Kind kind, const std::string& targetPath, uint32_t seed, uint32_t expanded, size_t structured,
             std::string* content, std::string* error) {
    switch (kind) {
    case Kind::Program:
    case Kind::Library: {
        pewriter::PeLayout layout;
        layout.fileVersion = kVersion;
        layout.size = expanded;
        layout.body = CodeBytes(seed, structured);
        layout.dll = kind == Kind::Library;
        return pewriter::BuildPe(layout, content, error);
    }
    case Kind::Vxd:
        *content = VxdImage(seed, structured, expanded);
        return true;
    case Kind::Ini:
        *content = IniText(seed, structured, expanded);
        return true;
    case Kind::Manifest:
        *content = ManifestText(targetPath, expanded);
        if (content->empty()) *error = "the manifest text is longer than " + std::to_string(expanded) + " bytes";
        return !content->empty();
    }
    return false;
}

}  // namespace

bool MakeStandIn(const std::string& targetPath, uint32_t seed, uint32_t expanded, uint32_t stored,
                 std::string* content, std::string* szddFile, std::string* error) {
    const Kind kind = KindOf(targetPath);
    // Room left for the structured part beside headers and the shortest filler.
    const size_t overhead = kind == Kind::Vxd ? 0x200 : kind == Kind::Ini ? 64 : 0x2000;
    size_t room = expanded > overhead ? expanded - overhead : 0;
    const uint64_t targetBits = (uint64_t{stored} - szdd::kHeaderSize) * 8;
    // Start with a structured part of a third of the file and fit its size to the bits that
    // parse takes; a retry takes a smaller part, or a slightly different one.
    size_t structured = kind == Kind::Manifest ? 0 : std::min<size_t>(room, expanded / 3);
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (!Content(kind, targetPath, seed, expanded, structured, content, error)) return false;
        std::vector<szdd::Token> tokens = szdd::Parse(*content);
        uint64_t bits = szdd::CostBits(tokens);
        if (szdd::ShapeToSize(&tokens, stored)) {
            *szddFile = szdd::Encode(*content, tokens);
            return true;
        }
        if (kind == Kind::Manifest) break;
        // Filler costs about 17 bits per 18 bytes; the structured part the rest. Aim for 90%
        // of the target so that shaping has whole matches to spend.
        double fillerBits = (expanded - structured) * 17.0 / 18.0;
        double perByte = structured > 0 ? std::max(0.1, (bits - fillerBits) / structured) : 4.0;
        double want = 0.9 * targetBits - expanded * 17.0 / 18.0;
        size_t next = want > 0 ? static_cast<size_t>(want / (perByte - 17.0 / 18.0)) : 0;
        next = std::min(next, room);
        structured = next == structured ? (structured > 97 ? structured - 97 : 0) : next;
    }
    *error = "no token stream of " + std::to_string(stored) + " bytes found for " + std::to_string(expanded) +
             " bytes of " + targetPath;
    return false;
}

}  // namespace mkpayloads
