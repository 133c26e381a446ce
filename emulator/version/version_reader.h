// A bounded reader of PE version resources: every offset and length is checked against what
// remains, so a truncated or malformed image gives "not found", never a read past the data.
#pragma once

#include <cstddef>
#include <string>

namespace platform::host {

// The bytes of an image that is read where it is looked at, not whole (a file of megabytes
// whose version lies in a few kilobytes).
class ImageLoader {
public:
    virtual ~ImageLoader() = default;
    // Makes the image's bytes [at, at + count) hold the file's; false when they cannot.
    virtual bool Load(size_t at, size_t count) = 0;
};

// The RT_VERSION resource of the 32- or 64-bit PE image `image` (`size` bytes): where its data
// lies in the image. False when the image is no PE, has no such resource, or the resource lies
// outside the image. With a `loader`, each byte is loaded before it is read.
bool FindVersionResource(const unsigned char* image, size_t size, size_t* offset, size_t* length,
                         ImageLoader* loader = nullptr);

// The length of the VS_VERSIONINFO tree at the start of `block` (`size` bytes): its root's
// stated length when the root is whole and inside the block; 0 when it is not.
size_t VersionTreeLength(const unsigned char* block, size_t size);

// A value of the tree.
struct VersionValue {
    size_t offset = 0;   // where the value starts in the block
    size_t length = 0;   // bytes of a binary value; UTF-16 units of a text, up to its NUL
    bool text = false;
};

// Looks up `path` ("\StringFileInfo\041104b0\FileVersion"; "\" is the root's own value) in the
// tree at the start of `block`; keys compare without regard to ASCII case. False when a node
// on the way is malformed (a length that is too short, too long or runs past its parent) or
// the path is not there.
bool FindVersionValue(const unsigned char* block, size_t size, const std::string& path, VersionValue* value);

}  // namespace platform::host
