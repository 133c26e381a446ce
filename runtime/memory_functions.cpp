// Copies, fills and compares bytes: memcpy, memmove, memset, memcmp, byte by byte. Compiled
// with -fno-builtin and without loop-to-call rewriting, so that none becomes a call to itself.
#include "runtime/runtime.h"

extern "C" {

void* RUNTIME_NAME(memcpy)(void* to, const void* from, size_t size) {
    unsigned char* out = static_cast<unsigned char*>(to);
    const unsigned char* in = static_cast<const unsigned char*>(from);
    while (size-- > 0) *out++ = *in++;
    return to;
}

// Copies forwards when the destination lies below the source, backwards otherwise, so that
// overlapping ranges come out as the source was.
void* RUNTIME_NAME(memmove)(void* to, const void* from, size_t size) {
    unsigned char* out = static_cast<unsigned char*>(to);
    const unsigned char* in = static_cast<const unsigned char*>(from);
    if (out < in) {
        while (size-- > 0) *out++ = *in++;
    } else if (out > in) {
        while (size-- > 0) out[size] = in[size];
    }
    return to;
}

void* RUNTIME_NAME(memset)(void* to, int byte, size_t size) {
    unsigned char* out = static_cast<unsigned char*>(to);
    while (size-- > 0) *out++ = static_cast<unsigned char>(byte);
    return to;
}

// The first differing bytes compared as unsigned char, as the C library compares them.
int RUNTIME_NAME(memcmp)(const void* a, const void* b, size_t size) {
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (; size > 0; --size, ++x, ++y)
        if (*x != *y) return *x < *y ? -1 : 1;
    return 0;
}

}  // extern "C"
