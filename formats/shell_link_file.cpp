// The .lnk writer: a header, the link-info structure with the target's local path, the string
// data (relative path, working folder, arguments, description, icon) and the terminal block.
#include "formats/shell_link_file.h"

#include "formats/little_endian.h"

namespace formats {
namespace {

// LinkFlags.
const uint32_t kHasLinkInfo = 0x2;
const uint32_t kHasName = 0x4;
const uint32_t kHasRelativePath = 0x8;
const uint32_t kHasWorkingDir = 0x10;
const uint32_t kHasArguments = 0x20;
const uint32_t kHasIconLocation = 0x40;
const uint32_t kIsUnicode = 0x80;

const uint32_t kHeaderSize = 0x4C;
const uint32_t kLinkInfoHeaderSize = 0x24;  // with the UTF-16 copy of the local base path
const uint32_t kVolumeIdAndLocalBasePath = 0x1;
const uint32_t kDriveFixed = 3;
const uint32_t kVolumeIdSize = 0x11;  // the four fields and an empty volume label

// CLSID_ShellLink as stored: Data1..Data3 little-endian, then Data4.
const unsigned char kShellLinkClassId[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                             0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

bool IsFullLocalPath(const std::string& path) {
    return path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// A StringData entry: the count of UTF-16 units, then the units without a terminator.
bool PutString(std::string* out, const std::string& text, ToUtf16 toUtf16) {
    std::u16string wide;
    if (!toUtf16(text, &wide) || wide.size() > 0xFFFF) return false;
    Put16(out, static_cast<uint32_t>(wide.size()));
    PutUtf16(out, wide);
    return true;
}

bool LinkInfo(const std::string& path, ToUtf16 toUtf16, std::string* out) {
    std::u16string wide;
    if (!toUtf16(path, &wide)) return false;
    uint32_t volumeOffset = kLinkInfoHeaderSize;
    uint32_t pathOffset = volumeOffset + kVolumeIdSize;
    uint32_t suffixOffset = pathOffset + static_cast<uint32_t>(path.size()) + 1;
    uint32_t widePathOffset = suffixOffset + 1;
    uint32_t wideSuffixOffset = widePathOffset + 2 * static_cast<uint32_t>(wide.size() + 1);
    uint32_t size = wideSuffixOffset + 2;
    Put32(out, size);
    Put32(out, kLinkInfoHeaderSize);
    Put32(out, kVolumeIdAndLocalBasePath);
    Put32(out, volumeOffset);
    Put32(out, pathOffset);
    Put32(out, 0);  // no network location
    Put32(out, suffixOffset);
    Put32(out, widePathOffset);
    Put32(out, wideSuffixOffset);
    // VolumeID: size, drive type, serial number, offset of the label, the empty label.
    Put32(out, kVolumeIdSize);
    Put32(out, kDriveFixed);
    Put32(out, 0);
    Put32(out, 0x10);
    out->push_back('\0');
    out->append(path);
    out->push_back('\0');
    out->push_back('\0');  // empty common path suffix
    PutUtf16(out, wide);
    Put16(out, 0);
    Put16(out, 0);  // empty common path suffix, UTF-16
    return true;
}

}  // namespace

bool ShellLinkFileBytes(const ShellLinkProperties& link, ToUtf16 toUtf16, std::string* bytes) {
    bool local = IsFullLocalPath(link.target);
    uint32_t flags = kIsUnicode;
    if (local) flags |= kHasLinkInfo;
    if (!link.description.empty()) flags |= kHasName;
    if (!local && !link.target.empty()) flags |= kHasRelativePath;
    if (!link.workingDirectory.empty()) flags |= kHasWorkingDir;
    if (!link.arguments.empty()) flags |= kHasArguments;
    if (!link.iconPath.empty()) flags |= kHasIconLocation;

    std::string out;
    Put32(&out, kHeaderSize);
    out.append(reinterpret_cast<const char*>(kShellLinkClassId), sizeof kShellLinkClassId);
    Put32(&out, flags);
    Put32(&out, link.targetAttributes);
    for (int i = 0; i < 2; ++i) {  // creation and access time unknown
        Put32(&out, 0);
        Put32(&out, 0);
    }
    Put32(&out, static_cast<uint32_t>(link.targetWriteTime));
    Put32(&out, static_cast<uint32_t>(link.targetWriteTime >> 32));
    Put32(&out, link.targetSize);
    Put32(&out, static_cast<uint32_t>(link.iconIndex));
    Put32(&out, static_cast<uint32_t>(link.showCommand));
    Put16(&out, link.hotkey);
    Put16(&out, 0);
    Put32(&out, 0);
    Put32(&out, 0);

    if (local && !LinkInfo(link.target, toUtf16, &out)) return false;
    // String data, in the order the format gives.
    if ((flags & kHasName) && !PutString(&out, link.description, toUtf16)) return false;
    if ((flags & kHasRelativePath) && !PutString(&out, link.target, toUtf16)) return false;
    if ((flags & kHasWorkingDir) && !PutString(&out, link.workingDirectory, toUtf16)) return false;
    if ((flags & kHasArguments) && !PutString(&out, link.arguments, toUtf16)) return false;
    if ((flags & kHasIconLocation) && !PutString(&out, link.iconPath, toUtf16)) return false;
    Put32(&out, 0);  // terminal block: no extra data
    *bytes = out;
    return true;
}

}  // namespace formats
