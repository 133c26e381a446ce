// The PE version reader on any bytes, taken both as a PE image and as a version tree of its
// own: whatever it finds lies inside what it was given. The resource found in an image is
// copied to a buffer of its own length, so that a read past it is caught too.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/expect.h"
#include "emulator/version/version_reader.h"

namespace {

using namespace platform::host;

// The values the updater and the platform tests look up.
const char* const kPaths[] = {
    "\\",
    "\\VarFileInfo\\Translation",
    "\\StringFileInfo\\041104b0\\FileVersion",
    "\\StringFileInfo\\041104b0\\ProductVersion",
};

void ReadTree(const unsigned char* block, size_t size) {
    Expect(VersionTreeLength(block, size) <= size, "the tree lies inside its block");
    for (const char* path : kPaths) {
        VersionValue value;
        if (!FindVersionValue(block, size, path, &value)) continue;
        size_t bytes = value.text ? value.length * 2 : value.length;
        Expect(value.offset <= size && bytes <= size - value.offset, "a value lies inside its block");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t offset = 0, length = 0;
    if (FindVersionResource(data, size, &offset, &length)) {
        Expect(offset <= size && length <= size - offset, "the resource lies inside the image");
        std::vector<unsigned char> resource(data + offset, data + offset + length);
        ReadTree(resource.data(), resource.size());
    }
    ReadTree(data, size);
    return 0;
}
