// The driver's service entry "cdrvkvsd".
#pragma once

// Returns 1 when all five values were written, 0 when a step failed.
int RegisterDriverService();
