// Lengths, comparison and search of NUL-terminated texts: strlen, strnlen, strcmp, strrchr.
// Bytes are compared as unsigned char, as the C library compares them.
#include "runtime/runtime.h"

extern "C" {

size_t RUNTIME_NAME(strlen)(const char* text) {
    size_t length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

// Reads no byte at or past text[size].
size_t RUNTIME_NAME(strnlen)(const char* text, size_t size) {
    size_t length = 0;
    while (length < size && text[length] != '\0') ++length;
    return length;
}

int RUNTIME_NAME(strcmp)(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    while (*x != '\0' && *x == *y) ++x, ++y;
    return *x == *y ? 0 : (*x < *y ? -1 : 1);
}

// The last occurrence of c (as a char) in text, its terminating NUL included; nullptr if none.
char* RUNTIME_NAME(strrchr)(const char* text, int c) {
    const char wanted = static_cast<char>(c);
    const char* last = nullptr;
    for (;; ++text) {
        if (*text == wanted) last = text;
        if (*text == '\0') break;
    }
    return const_cast<char*>(last);
}

}  // extern "C"
