// PE image -> resource directory -> RT_VERSION data -> VS_VERSIONINFO tree, read through a
// bounded view: each read names its offset and width and fails outside the data.
#include "emulator/version/version_reader.h"

#include <cstdint>
#include <cstring>

namespace platform::host {
namespace {

// A window of bytes; reads outside it fail. With a loader, the window starts `base` bytes into
// the image, and what is read is loaded first.
struct View {
    const unsigned char* data;
    size_t size;
    ImageLoader* loader = nullptr;
    size_t base = 0;

    bool Has(size_t at, size_t count) const { return at <= size && count <= size - at; }
    bool Read(size_t at, size_t count) const {
        return Has(at, count) && (loader == nullptr || loader->Load(base + at, count));
    }
    bool U16(size_t at, uint16_t* out) const {
        if (!Read(at, 2)) return false;
        *out = static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
        return true;
    }
    bool U32(size_t at, uint32_t* out) const {
        if (!Read(at, 4)) return false;
        *out = static_cast<uint32_t>(data[at]) | (static_cast<uint32_t>(data[at + 1]) << 8) |
               (static_cast<uint32_t>(data[at + 2]) << 16) | (static_cast<uint32_t>(data[at + 3]) << 24);
        return true;
    }
};

const uint16_t kPe32 = 0x10B;
const uint16_t kPe64 = 0x20B;
const uint32_t kResourceDirectory = 2;
const uint32_t kRtVersion = 16;
const uint32_t kSubdirectory = 0x80000000u;
const uint16_t kMaxSections = 96;

// The file range of the section that holds `rva`: `offset` of `rva` in the file and the bytes
// of raw data that follow it inside the section and the image.
bool MapRva(const View& image, size_t sections, uint16_t count, uint32_t rva, size_t* offset, size_t* room) {
    for (uint16_t i = 0; i < count; ++i) {
        size_t header = sections + static_cast<size_t>(i) * 40;
        uint32_t address = 0, rawSize = 0, rawOffset = 0;
        if (!image.U32(header + 12, &address) || !image.U32(header + 16, &rawSize) ||
            !image.U32(header + 20, &rawOffset)) {
            return false;
        }
        if (rva < address || rva - address >= rawSize) continue;
        uint64_t at = static_cast<uint64_t>(rawOffset) + (rva - address);
        uint64_t end = static_cast<uint64_t>(rawOffset) + rawSize;
        if (at >= image.size) return false;
        if (end > image.size) end = image.size;
        *offset = static_cast<size_t>(at);
        *room = static_cast<size_t>(end - at);
        return true;
    }
    return false;
}

// The entry of the resource directory at `directory` (relative to `resources`) whose id is
// `id`, or with `id` 0 the first entry; its OffsetToData field in `target`.
bool DirectoryEntry(const View& resources, size_t directory, uint32_t id, uint32_t* target) {
    uint16_t named = 0, ids = 0;
    if (!resources.U16(directory + 12, &named) || !resources.U16(directory + 14, &ids)) return false;
    size_t count = static_cast<size_t>(named) + ids;
    for (size_t i = 0; i < count; ++i) {
        size_t entry = directory + 16 + i * 8;
        uint32_t name = 0;
        if (!resources.U32(entry, &name) || !resources.U32(entry + 4, target)) return false;
        if (id == 0 || ((name & kSubdirectory) == 0 && name == id)) return true;
    }
    return false;
}

// One node of the version tree: where it lies and what it holds.
struct Node {
    size_t start = 0, end = 0;  // [start, end) in the block
    size_t keyStart = 0, keyUnits = 0;
    size_t valueStart = 0, valueLength = 0;
    bool text = false;
    size_t children = 0;  // first child
};

size_t Align4(size_t at) { return (at + 3) & ~static_cast<size_t>(3); }

// Reads the node at `at` that must end within `limit`.
bool ReadNode(const View& block, size_t at, size_t limit, Node* node) {
    uint16_t length = 0, valueLength = 0, type = 0;
    if (!block.U16(at, &length) || !block.U16(at + 2, &valueLength) || !block.U16(at + 4, &type)) return false;
    // A node shorter than its header would never move the walk on; one longer than its
    // parent runs past it.
    if (length < 6 || length > limit - at || type > 1) return false;
    node->start = at;
    node->end = at + length;
    View inside = {block.data, node->end};
    node->keyStart = at + 6;
    size_t p = node->keyStart;
    for (uint16_t unit = 1; unit != 0; p += 2) {
        if (!inside.U16(p, &unit)) return false;  // a key without its NUL
    }
    node->keyUnits = (p - node->keyStart) / 2 - 1;
    node->valueStart = Align4(p);
    node->text = type == 1;
    size_t valueBytes = node->text ? static_cast<size_t>(valueLength) * 2 : valueLength;
    if (node->valueStart > node->end) node->valueStart = node->end;
    if (valueBytes > node->end - node->valueStart) {
        // A text may count its NUL or not; anything else must fit.
        if (!node->text || valueBytes - (node->end - node->valueStart) > 2) return false;
        valueBytes = node->end - node->valueStart;
    }
    node->valueLength = valueBytes;
    if (node->text) {
        size_t units = 0;
        uint16_t unit = 0;
        while (units * 2 + 1 < valueBytes && inside.U16(node->valueStart + units * 2, &unit) && unit != 0) ++units;
        node->valueLength = units;
    }
    node->children = Align4(node->valueStart + valueBytes);
    return true;
}

bool KeyIs(const View& block, const Node& node, const std::string& name) {
    if (node.keyUnits != name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        uint16_t unit = 0;
        if (!block.U16(node.keyStart + i * 2, &unit)) return false;
        unsigned char want = static_cast<unsigned char>(name[i]);
        if (unit >= 0x80) return false;
        unsigned char have = static_cast<unsigned char>(unit);
        if (have >= 'a' && have <= 'z') have = static_cast<unsigned char>(have - 'a' + 'A');
        if (want >= 'a' && want <= 'z') want = static_cast<unsigned char>(want - 'a' + 'A');
        if (have != want) return false;
    }
    return true;
}

}  // namespace

bool FindVersionResource(const unsigned char* data, size_t size, size_t* offset, size_t* length,
                         ImageLoader* loader) {
    View image = {data, size, loader, 0};
    uint16_t magic = 0;
    uint32_t pe = 0, signature = 0;
    if (!image.U16(0, &magic) || magic != 0x5A4D || !image.U32(0x3C, &pe) || !image.U32(pe, &signature) ||
        signature != 0x00004550) {
        return false;
    }
    size_t coff = static_cast<size_t>(pe) + 4;
    uint16_t sectionCount = 0, optionalSize = 0, optionalMagic = 0;
    if (!image.U16(coff + 2, &sectionCount) || !image.U16(coff + 16, &optionalSize) || sectionCount > kMaxSections)
        return false;
    size_t optional = coff + 20;
    if (!image.U16(optional, &optionalMagic)) return false;
    size_t countField = optionalMagic == kPe32 ? 92 : optionalMagic == kPe64 ? 108 : 0;
    if (countField == 0) return false;
    uint32_t directories = 0, resourceRva = 0, resourceSize = 0;
    size_t resourceEntry = optional + countField + 4 + kResourceDirectory * 8;
    if (!image.U32(optional + countField, &directories) || directories <= kResourceDirectory ||
        resourceEntry + 8 > optional + optionalSize || !image.U32(resourceEntry, &resourceRva) ||
        !image.U32(resourceEntry + 4, &resourceSize) || resourceRva == 0 || resourceSize == 0) {
        return false;
    }
    size_t sections = optional + optionalSize;
    if (!image.Has(sections, static_cast<size_t>(sectionCount) * 40)) return false;

    size_t base = 0, room = 0;
    if (!MapRva(image, sections, sectionCount, resourceRva, &base, &room)) return false;
    View resources = {data + base, room, loader, base};
    // Type, then name (the first), then language (the first): three levels, no further.
    uint32_t target = 0;
    if (!DirectoryEntry(resources, 0, kRtVersion, &target) || (target & kSubdirectory) == 0) return false;
    if (!DirectoryEntry(resources, target & ~kSubdirectory, 0, &target) || (target & kSubdirectory) == 0)
        return false;
    if (!DirectoryEntry(resources, target & ~kSubdirectory, 0, &target) || (target & kSubdirectory) != 0)
        return false;
    uint32_t dataRva = 0, dataSize = 0;
    if (!resources.U32(target, &dataRva) || !resources.U32(target + 4, &dataSize) || dataSize == 0) return false;
    size_t at = 0;
    if (!MapRva(image, sections, sectionCount, dataRva, &at, &room) || dataSize > room) return false;
    if (loader != nullptr && !loader->Load(at, dataSize)) return false;
    *offset = at;
    *length = dataSize;
    return true;
}

size_t VersionTreeLength(const unsigned char* data, size_t size) {
    View block = {data, size};
    Node root;
    if (!ReadNode(block, 0, size, &root) || !KeyIs(block, root, "VS_VERSION_INFO")) return 0;
    return root.end;
}

bool FindVersionValue(const unsigned char* data, size_t size, const std::string& path, VersionValue* value) {
    View block = {data, size};
    Node node;
    if (!ReadNode(block, 0, size, &node)) return false;
    size_t from = 0;
    while (from < path.size()) {
        size_t slash = path.find('\\', from);
        if (slash == std::string::npos) slash = path.size();
        std::string name = path.substr(from, slash - from);
        from = slash + 1;
        if (name.empty()) continue;
        // The children follow one another, each at least a header long: the walk ends.
        bool found = false;
        for (size_t child = node.children; child < node.end;) {
            Node next;
            if (!ReadNode(block, child, node.end, &next)) return false;
            if (KeyIs(block, next, name)) {
                node = next;
                found = true;
                break;
            }
            child = Align4(next.end);
        }
        if (!found) return false;
    }
    value->offset = node.valueStart;
    value->length = node.valueLength;
    value->text = node.text;
    return true;
}

}  // namespace platform::host
