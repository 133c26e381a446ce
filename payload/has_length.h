// Whether a file lies complete: its directory entry against the length it must have.
#pragma once

#include <cstdint>

// 1 when `path` is a file (not a folder) of exactly `length` bytes.
int HasLength(const char* path, uint32_t length);
