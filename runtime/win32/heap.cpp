// calloc and free of the Windows executable, which links no C runtime: the process heap.
// Only the version block is allocated so.
#include <windows.h>

#include <stdint.h>

extern "C" void* calloc(size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * size);
}

extern "C" void free(void* block) {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}
