// Little-endian fields, as every file format of Windows stores its numbers: appended to or set in
// a byte string, and read from bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace formats {

inline void Put16(std::string* out, uint32_t v) {
    out->push_back(static_cast<char>(v & 0xFF));
    out->push_back(static_cast<char>((v >> 8) & 0xFF));
}

inline void Put32(std::string* out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// UTF-16 code units, without a terminator.
inline void PutUtf16(std::string* out, const std::u16string& text) {
    for (char16_t c : text) Put16(out, c);
}

inline void Set16(std::string* out, size_t at, uint32_t v) {
    (*out)[at] = static_cast<char>(v & 0xFF);
    (*out)[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(Get16(p)) | static_cast<uint32_t>(Get16(p + 2)) << 16;
}

}  // namespace formats
