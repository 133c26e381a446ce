// Paths and texts as the logic builds them: ANSI text in the machine's code page, in fixed
// buffers whose size is always given. Every function that writes checks the size first.
#pragma once

#include <cstddef>

// The size of the logic's path buffers: any path Windows takes (MAX_PATH, 260 with its
// terminator) and room beyond it, so that a path too long for Windows is still seen whole.
#define PATH_BUFFER_SIZE 270

// 1 when the last character of `text` (by character of the code page, so the second byte of
// a double-byte character never counts) is "\" or "/"; 0 for the empty text.
int EndsWithSeparator(const char* text);

// out = folder, a backslash unless the folder is empty or already ends with a separator, then
// name. Returns 1; 0 when the result would not fit `size` bytes, with out set to "".
// `out` must not overlap the inputs.
int JoinPath(char* out, size_t size, const char* folder, const char* name);

// The number of characters of `text` by the code page: a double-byte character counts once,
// as Windows counts a path against MAX_PATH.
size_t CharacterCount(const char* text);

// out = text. Returns 1; 0 when it would not fit, with out set to "".
int CopyText(char* out, size_t size, const char* text);

// Appends text to the NUL-terminated out. Returns 1; 0 when it would not fit, out unchanged.
int AppendText(char* out, size_t size, const char* text);

// The drive and directory parts of `path`, put together again: the drive ("X:") when the
// second character is a colon, then the rest up to and including its last separator, that
// part cut to 255 bytes (never inside a double-byte character). "C:\a\b" gives "C:\a\",
// "C:\a\" gives itself, "D:" gives "D:", a text without drive or separator gives "".
// Returns 1; 0 when the result would not fit `size`, with out set to "". `out` may be `path`.
int DriveAndDirectory(const char* path, char* out, size_t size);

// The root of the drive that holds `path`: "X:\" for a path that starts with a drive letter and
// a colon, "\\server\share\" for a UNC path. Returns 1; 0 for a path without either, or when
// the root would not fit `size`, with out set to "".
int DriveRoot(const char* path, char* out, size_t size);
