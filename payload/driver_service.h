// The driver's service entry "cdrvkvsd".
#pragma once

// The key, under HKEY_LOCAL_MACHINE, that holds the services' entries.
extern const char kServicesKey[];

// Returns 1 when all five values were written, 0 when a step failed.
int RegisterDriverService();
