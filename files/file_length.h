// The length of a file as its directory entry gives it, and whether a file lies complete.
#pragma once

#include <cstdint>

// 1 when `path` is a file (not a folder) of exactly `length` bytes.
int HasLength(const char* path, uint32_t length);
// 1 when `path` is a file (not a folder), with its length in `length`; 0 otherwise.
int FileLength(const char* path, uint64_t* length);
