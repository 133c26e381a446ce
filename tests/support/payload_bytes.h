// The payload resources of the updater's module, as stored and as libmspack expands them.
#pragma once

#include <cstdint>
#include <string>

namespace vktest {

// The bytes of RCDATA payloadIndex + 129 in the host module, or "" when there is none.
std::string StoredPayload(uint32_t payloadIndex);
// Those bytes expanded by libmspack (an SZDD payload) or unchanged (any other).
std::string ExpandedPayload(uint32_t payloadIndex);

}  // namespace vktest
