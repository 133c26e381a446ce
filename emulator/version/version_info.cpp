// The version calls that read a file's version resource, on the emulated machine. The block
// that GetFileVersionInfoA fills holds the resource's VS_VERSIONINFO tree, then the mark
// "FE2X", then room of the tree's size where VerQueryValueA puts each text value converted
// to the machine code page, at the value's own offset (so that every value keeps its place).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

// A file as an image read where the version reader looks: its pages are mapped empty, and
// each 64 KB block is read when a byte of it is first asked for (the version of a program of
// megabytes lies in a few kilobytes).
class FileImage : public host::ImageLoader {
public:
    ~FileImage() override {
        if (bytes != nullptr) munmap(bytes, size);
        if (fd_ >= 0) close(fd_);
    }
    bool Open(const std::string& path) {
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st;
        if (fd_ < 0 || fstat(fd_, &st) != 0) return false;
        size = static_cast<size_t>(st.st_size);
        if (size == 0 || size > kMaxImage) return true;
        void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) return false;
        bytes = static_cast<unsigned char*>(mapped);
        loaded_.assign((size + kBlock - 1) / kBlock, false);
        return true;
    }
    bool Load(size_t at, size_t count) override {
        if (bytes == nullptr || at > size || count > size - at) return false;
        for (size_t block = at / kBlock; count > 0 && block <= (at + count - 1) / kBlock; ++block) {
            if (loaded_[block]) continue;
            size_t from = block * kBlock, want = std::min(kBlock, size - from), got = 0;
            while (got < want) {
                ssize_t n = pread(fd_, bytes + from + got, want - got, static_cast<off_t>(from + got));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) return false;  // unreadable, or shorter than it was
                got += static_cast<size_t>(n);
            }
            loaded_[block] = true;
        }
        return true;
    }
    unsigned char* bytes = nullptr;
    size_t size = 0;

private:
    static constexpr size_t kBlock = 64 << 10;
    int fd_ = -1;
    std::vector<bool> loaded_;
};

// The version tree of `file`, padded to a multiple of 4. ERROR_SUCCESS or the error to report.
DWORD ReadVersionTree(LPCSTR file, std::vector<unsigned char>* tree) {
    if (file == nullptr) return ERROR_INVALID_PARAMETER;
    host::Target target;
    DWORD error = FindVersionFile(file, &target);
    if (error != ERROR_SUCCESS) return error;
    if (!target.parentIsDir) return ERROR_PATH_NOT_FOUND;
    if (!target.exists) return ERROR_FILE_NOT_FOUND;
    if (target.isDir) return ERROR_ACCESS_DENIED;
    FileImage image;
    if (!image.Open(target.host)) return ERROR_ACCESS_DENIED;
    if (image.size > kMaxImage) return ERROR_RESOURCE_DATA_NOT_FOUND;
    size_t offset = 0, length = 0;
    // A file without a version resource, PE image or not, has no version data.
    if (!host::FindVersionResource(image.bytes, image.size, &offset, &length, &image))
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    size_t treeLength = host::VersionTreeLength(image.bytes + offset, length);
    if (treeLength == 0) return ERROR_RESOURCE_DATA_NOT_FOUND;
    tree->assign(image.bytes + offset, image.bytes + offset + treeLength);
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
