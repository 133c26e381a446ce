// The files the updater installs: which resource holds each, its temp name and its target.
#pragma once

#include <cstdint>

struct PayloadEntry {
    char targetPath[270];  // relative to the route's destination folder
    char tempName[270];    // name in the staging folder and, before the rename, at the target
    uint32_t payloadIndex; // resource identifier = payloadIndex + PAYLOAD_RESOURCE_BASE
};

const uint32_t PAYLOAD_RESOURCE_BASE = 129;
const int PAYLOAD_ROW_COUNT = 41;
extern const PayloadEntry PayloadTable[PAYLOAD_ROW_COUNT];
