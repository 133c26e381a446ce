// Path joining and splitting by character of the machine's code page.
#include "text/path_text.h"

#include <cstring>

#include "platform/system.h"

namespace {

// Length in bytes of the character that starts at `p` (a lead byte without its trail is one).
size_t CharLength(const char* p) {
    return platform::IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0' ? 2 : 1;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

int EndsWithSeparator(const char* text) {
    const char* last = nullptr;
    for (const char* p = text; *p != '\0'; p += CharLength(p)) last = p;
    return last != nullptr && IsSeparator(*last) ? 1 : 0;
}

size_t CharacterCount(const char* text) {
    size_t count = 0;
    for (const char* p = text; *p != '\0'; p += CharLength(p)) ++count;
    return count;
}

int JoinPath(char* out, size_t size, const char* folder, const char* name) {
    size_t folderLength = std::strlen(folder);
    size_t separator = folderLength == 0 || EndsWithSeparator(folder) ? 0 : 1;
    size_t nameLength = std::strlen(name);
    if (size == 0) return 0;
    if (folderLength + separator + nameLength >= size) {
        out[0] = '\0';
        return 0;
    }
    std::memcpy(out, folder, folderLength);
    if (separator) out[folderLength] = '\\';
    std::memcpy(out + folderLength + separator, name, nameLength + 1);
    return 1;
}

int CopyText(char* out, size_t size, const char* text) {
    if (size == 0) return 0;
    size_t length = std::strlen(text);
    if (length >= size) {
        out[0] = '\0';
        return 0;
    }
    std::memmove(out, text, length + 1);
    return 1;
}

int AppendText(char* out, size_t size, const char* text) {
    size_t used = strnlen(out, size);
    size_t length = std::strlen(text);
    if (used >= size || length >= size - used) return 0;
    std::memcpy(out + used, text, length + 1);
    return 1;
}

int DriveAndDirectory(const char* path, char* out, size_t size) {
    const size_t kMaxDirectory = 255;
    size_t drive = path[0] != '\0' && path[1] == ':' ? 2 : 0;
    const char* rest = path + drive;
    // End of the directory: just past the last separator, counted by character.
    size_t directory = 0;
    for (const char* p = rest; *p != '\0'; p += CharLength(p)) {
        if (IsSeparator(*p)) directory = static_cast<size_t>(p - rest) + 1;
    }
    if (directory > kMaxDirectory) {
        // Cut to 255 bytes, at a character boundary.
        size_t cut = 0;
        for (const char* p = rest; static_cast<size_t>(p - rest) + CharLength(p) <= kMaxDirectory;
             p += CharLength(p)) {
            cut = static_cast<size_t>(p - rest) + CharLength(p);
        }
        directory = cut;
    }
    if (size == 0) return 0;
    if (drive + directory >= size) {
        out[0] = '\0';
        return 0;
    }
    std::memmove(out, path, drive + directory);
    out[drive + directory] = '\0';
    return 1;
}

int DriveRoot(const char* path, char* out, size_t size) {
    if (size == 0) return 0;
    out[0] = '\0';
    const char* end = nullptr;
    if (path[0] != '\0' && path[1] == ':') {
        end = path + 2;
    } else if (IsSeparator(path[0]) && IsSeparator(path[1])) {
        // The server's name, a separator, the share's name: each named, counted by character.
        const char* p = path + 2;
        for (int name = 0; name < 2; ++name) {
            const char* start = p;
            while (*p != '\0' && !IsSeparator(*p)) p += CharLength(p);
            if (p == start || (name == 0 && *p == '\0')) return 0;
            if (name == 0) ++p;
        }
        end = p;
    } else {
        return 0;
    }
    size_t length = static_cast<size_t>(end - path);
    if (length + 2 > size) return 0;
    std::memcpy(out, path, length);
    out[length] = '\\';
    out[length + 1] = '\0';
    return 1;
}
