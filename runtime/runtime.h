// The few C library functions the product calls, or the compiler calls for it (copies,
// fills, comparisons, lengths), for the Windows executable, which links no C runtime library.
// The Windows build links them under their own names. The host build keeps its C library and
// compiles these under the prefix runtime_ (VK_RUNTIME_PREFIXED), so that its tests compare
// them with the C library's.
#pragma once

#include <stddef.h>

#ifdef VK_RUNTIME_PREFIXED
#define RUNTIME_NAME(name) runtime_##name
#else
#define RUNTIME_NAME(name) name
#endif

extern "C" {

void* RUNTIME_NAME(memcpy)(void* to, const void* from, size_t size);
void* RUNTIME_NAME(memmove)(void* to, const void* from, size_t size);
void* RUNTIME_NAME(memset)(void* to, int byte, size_t size);
int RUNTIME_NAME(memcmp)(const void* a, const void* b, size_t size);
size_t RUNTIME_NAME(strlen)(const char* text);
size_t RUNTIME_NAME(strnlen)(const char* text, size_t size);
int RUNTIME_NAME(strcmp)(const char* a, const char* b);
char* RUNTIME_NAME(strrchr)(const char* text, int c);

}  // extern "C"

// The arguments of a command line as Windows hands it over, without the program's name: the
// name is skipped (a quoted name to its closing quote, else to the first space or tab), then
// the spaces and tabs after it, as WinMain receives its lpCmdLine.
const char* ProgramArguments(const char* commandLine);
