// Makes small, valid 32-bit PE images for fixtures and stand-ins: an executable or a DLL with a
// code section, a data section holding given bytes and, when asked, a version resource whose
// Japanese/Unicode string block "041104b0" carries a given FileVersion text.
#pragma once

#include <cstdint>
#include <string>

namespace pewriter {

// What the image holds and how large it is.
struct PeLayout {
    std::string fileVersion;  // UTF-8 FileVersion (and ProductVersion) text; empty: no version resource
    uint32_t size = 0;        // exact size of the image in bytes; 0: as small as it comes
    std::string body;         // the bytes of the data section
    bool dll = false;         // a DLL instead of an executable
};

// Builds the image into *image. The image is padded with zero bytes after its last section up to
// `size`. Returns false, saying why in *error, when headers, sections and body exceed `size`.
bool BuildPe(const PeLayout& layout, std::string* image, std::string* error);

}  // namespace pewriter
