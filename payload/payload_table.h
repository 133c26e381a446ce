// The files the updater installs: which resource holds each, its temp name and its target.
#pragma once

#include <cstdint>

#include "resources/resource.h"

struct PayloadEntry {
    const char* targetPath;  // relative to the route's destination folder
    const char* tempName;    // name in the staging folder and, before the rename, at the target
    uint32_t payloadIndex;   // resource identifier = payloadIndex + PAYLOAD_RESOURCE_BASE
};

const int PAYLOAD_ROW_COUNT = 41;
extern const PayloadEntry PayloadTable[PAYLOAD_ROW_COUNT];

// The table's five consecutive segments, one for each installation route: first row, row count.
struct PayloadSegment {
    int first;
    int count;
};
constexpr PayloadSegment PAYLOAD_COMMON = {0, 34};      // every Windows family, install folder
constexpr PayloadSegment PAYLOAD_9X_SYSTEM = {34, 1};   // 95/98/Me, system folder
constexpr PayloadSegment PAYLOAD_9X_INSTALL = {35, 3};  // 95/98/Me, install folder
constexpr PayloadSegment PAYLOAD_NT4 = {38, 2};         // NT 4.0, system folder
constexpr PayloadSegment PAYLOAD_NT5 = {40, 1};         // Windows 2000 and later, system folder

// The segments tile the table: each starts where the one before ends, and the last ends with it.
static_assert(PAYLOAD_COMMON.first == 0 && PAYLOAD_COMMON.first + PAYLOAD_COMMON.count == PAYLOAD_9X_SYSTEM.first &&
                  PAYLOAD_9X_SYSTEM.first + PAYLOAD_9X_SYSTEM.count == PAYLOAD_9X_INSTALL.first &&
                  PAYLOAD_9X_INSTALL.first + PAYLOAD_9X_INSTALL.count == PAYLOAD_NT4.first &&
                  PAYLOAD_NT4.first + PAYLOAD_NT4.count == PAYLOAD_NT5.first &&
                  PAYLOAD_NT5.first + PAYLOAD_NT5.count == PAYLOAD_ROW_COUNT,
              "the route segments must tile the payload table");
