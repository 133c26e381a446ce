// Writing one payload resource, still compressed, to a file.
#pragma once

#include <cstdint>

// Writes resource payloadIndex + PAYLOAD_RESOURCE_BASE to folder\fileName. Returns 0 when the
// file holds the whole resource, 1 on failure.
int ExtractPayload(const char* folder, const char* fileName, uint32_t payloadIndex);
