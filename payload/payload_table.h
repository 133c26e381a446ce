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

// The table's five consecutive segments, one for each installation route: first row, row count.
struct PayloadSegment {
    int first;
    int count;
};
const PayloadSegment PAYLOAD_COMMON = {0, 34};        // every Windows family, install folder
const PayloadSegment PAYLOAD_9X_SYSTEM = {34, 1};     // 95/98/Me, system folder
const PayloadSegment PAYLOAD_9X_INSTALL = {35, 3};    // 95/98/Me, install folder
const PayloadSegment PAYLOAD_NT4 = {38, 2};           // NT 4.0, system folder
const PayloadSegment PAYLOAD_NT5 = {40, 1};           // Windows 2000 and later, system folder
