// The version calls that read a file's version resource, on the emulated machine. The block
// that GetFileVersionInfoA fills holds the resource's VS_VERSIONINFO tree, then the mark
// "FE2X", then room of the tree's size where VerQueryValueA puts each text value converted
// to the machine code page, at the value's own offset (so that every value keeps its place).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"
#include "emulator/version/version_reader.h"
#include "platform/version.h"

namespace platform {
namespace {

const char kMark[4] = {'F', 'E', '2', 'X'};
const size_t kMaxImage = 256u << 20;  // larger files are not read for a version

// The folder part of the machine path `path` (what precedes its last backslash).
std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }

// The file a version call reads: a path as it stands; a bare name, as the module loader finds
// one, in the program's own folder, the current folder (the root of C:), the system folder and
// the Windows folder, the first that holds it.
DWORD FindVersionFile(LPCSTR file, host::Target* target) {
    DWORD error = host::ResolveTarget(file, target);
    if (error != ERROR_SUCCESS || std::strpbrk(file, "\\/:") != nullptr) return error;
    const host::MachineConfig& config = host::Config();
    const std::string folders[] = {FolderOf(config.temp), "C:", config.system, FolderOf(config.system)};
    for (const std::string& folder : folders) {
        host::Target found;
        if (host::ResolveTarget((folder + "\\" + file).c_str(), &found) == ERROR_SUCCESS && found.exists && !found.isDir) {
            *target = found;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_SUCCESS;  // not found: the target as given, which does not exist
}

// The version tree of `file`, padded to a multiple of 4. ERROR_SUCCESS or the error to report.
DWORD ReadVersionTree(LPCSTR file, std::vector<unsigned char>* tree) {
    if (file == nullptr) return ERROR_INVALID_PARAMETER;
    host::Target target;
    DWORD error = FindVersionFile(file, &target);
    if (error != ERROR_SUCCESS) return error;
    if (!target.parentIsDir) return ERROR_PATH_NOT_FOUND;
    if (!target.exists) return ERROR_FILE_NOT_FOUND;
    if (target.isDir) return ERROR_ACCESS_DENIED;
    int fd = open(target.host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ERROR_ACCESS_DENIED;
    struct stat st;
    DWORD refused = fstat(fd, &st) != 0 ? ERROR_ACCESS_DENIED
                    : static_cast<uint64_t>(st.st_size) > kMaxImage ? ERROR_RESOURCE_DATA_NOT_FOUND
                                                                    : ERROR_SUCCESS;
    if (refused != ERROR_SUCCESS) {
        close(fd);
        return refused;
    }
    // Read into memory left as it is: the image is megabytes, and clearing it first took as
    // long as reading it.
    std::unique_ptr<unsigned char[]> image(new unsigned char[static_cast<size_t>(st.st_size) + 1]);
    size_t size = 0;
    bool failed = false;
    while (size < static_cast<size_t>(st.st_size)) {
        ssize_t n = read(fd, image.get() + size, static_cast<size_t>(st.st_size) - size);
        if (n < 0 && errno == EINTR) continue;
        failed = n < 0;
        if (n <= 0) break;  // shorter than it was: what there is
        size += static_cast<size_t>(n);
    }
    close(fd);
    if (failed) return ERROR_ACCESS_DENIED;
    size_t offset = 0, length = 0;
    // A file without a version resource, PE image or not, has no version data.
    if (!host::FindVersionResource(image.get(), size, &offset, &length)) return ERROR_RESOURCE_DATA_NOT_FOUND;
    size_t treeLength = host::VersionTreeLength(image.get() + offset, length);
    if (treeLength == 0) return ERROR_RESOURCE_DATA_NOT_FOUND;
    tree->assign(image.get() + offset, image.get() + offset + treeLength);
    tree->resize((treeLength + 3) & ~static_cast<size_t>(3), 0);
    return ERROR_SUCCESS;
}

// The size of the block for a tree of `treeLength` bytes.
DWORD BlockSize(size_t treeLength) { return static_cast<DWORD>(treeLength * 2 + sizeof kMark); }

}  // namespace

DWORD GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle) {
    if (host::InjectedFailure(host::Call::GetFileVersionInfoSizeA)) return 0;
    if (handle != nullptr) *handle = 0;
    std::vector<unsigned char> tree;
    DWORD error = ReadVersionTree(file, &tree);
    if (error != ERROR_SUCCESS) {
        host::SetError(error);
        return 0;
    }
    host::SetError(ERROR_SUCCESS);
    return BlockSize(tree.size());
}

BOOL GetFileVersionInfoA(LPCSTR file, DWORD, DWORD size, LPVOID data) {
    if (host::InjectedFailure(host::Call::GetFileVersionInfoA)) return FALSE;
    if (data == nullptr) {
        host::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<unsigned char> tree;
    DWORD error = ReadVersionTree(file, &tree);
    // The block is filled whole or not at all: a shorter one could not be read safely.
    if (error == ERROR_SUCCESS && size < BlockSize(tree.size())) error = ERROR_INSUFFICIENT_BUFFER;
    if (error != ERROR_SUCCESS) {
        host::SetError(error);
        return FALSE;
    }
    unsigned char* block = static_cast<unsigned char*>(data);
    std::memcpy(block, tree.data(), tree.size());
    std::memcpy(block + tree.size(), kMark, sizeof kMark);
    std::memset(block + tree.size() + sizeof kMark, 0, tree.size());
    return TRUE;
}

BOOL VerQueryValueA(LPCVOID data, LPCSTR subBlock, LPVOID* value, PUINT length) {
    // A failed query leaves the caller's pointer and length as they were.
    if (host::InjectedFailure(host::Call::VerQueryValueA)) return FALSE;
    if (data == nullptr || subBlock == nullptr || value == nullptr) {
        host::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const unsigned char* block = static_cast<const unsigned char*>(data);
    // Only a block that GetFileVersionInfoA filled carries the mark after its tree.
    size_t stated = static_cast<size_t>(block[0] | (block[1] << 8));
    size_t tree = (stated + 3) & ~static_cast<size_t>(3);
    host::VersionValue found;
    if (stated == 0 || std::memcmp(block + tree, kMark, sizeof kMark) != 0 ||
        !host::FindVersionValue(block, stated, subBlock, &found)) {
        host::SetError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    // A block, not a value (a string table, "\\StringFileInfo"), answers with its place and
    // length 0.
    if (!found.text || found.length == 0) {
        *value = const_cast<unsigned char*>(block + found.offset);
        if (length != nullptr) *length = static_cast<UINT>(found.length);
        return TRUE;
    }
    std::u16string units(found.length, u'\0');
    std::memcpy(&units[0], block + found.offset, found.length * 2);
    std::string ansi;
    // The converted text goes to the value's own place in the room after the mark. A text
    // that the code page cannot hold is not given half converted.
    unsigned char* room = const_cast<unsigned char*>(block) + tree + sizeof kMark;
    if (!host::Utf16ToAnsi(units.data(), units.size(), &ansi) || ansi.size() + 1 > tree - found.offset) {
        host::SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(room + found.offset, ansi.c_str(), ansi.size() + 1);
    *value = room + found.offset;
    if (length != nullptr) *length = static_cast<UINT>(ansi.size() + 1);
    return TRUE;
}

}  // namespace platform
