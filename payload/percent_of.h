// The progress bar's position after `done` of `total` rows.
#pragma once

#include <cstdint>

// 100 / total * done in double precision, truncated toward zero; 0 when total or done is 0,
// and at least 1 once a row is done. Not limited to 100; a result past INT_MAX gives INT_MAX.
int PercentOf(uint32_t total, uint32_t done);
