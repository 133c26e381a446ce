// The length a payload has once installed, read from its resource.
#pragma once

#include <cstdint>

// For an SZDD payload the expanded length its header states; for any other payload its stored
// length. Returns 1, or 0 when the resource is missing or an SZDD header is cut short.
int InstalledPayloadLength(uint32_t payloadIndex, uint32_t* length);
// The same, with the length the payload has as it is stored (and extracted) in `stored`.
int PayloadLengths(uint32_t payloadIndex, uint32_t* stored, uint32_t* installed);
