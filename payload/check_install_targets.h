// The checks an update makes before its first write, so that a run that cannot finish
// changes nothing.
#pragma once

#include <cstddef>

#include "payload/install_routes.h"

// Returns 1 when every row of the `routeCount` routes can be installed: the folder each file
// goes into exists, the file's paths there and in `stagingFolder` fit the buffers and Windows'
// path limit, no folder stands in their place; no old file is held open by another program, is
// a running program or (with `ntSecurity`, the NT family) is kept from this user, unless its
// route may replace it at the restart (a driver Windows loaded), which it can then register
// (with its driver service where the route writes one). Otherwise 0, with `failedPath`
// (`failedPathSize` bytes) holding the full path of the first file that could not be installed.
// An empty `systemFolder` is one that could not be determined. Nothing is written.
int CheckInstallTargets(const InstallRoute* const* routes, int routeCount, const char* stagingFolder,
                        const char* installFolder, const char* systemFolder, int ntSecurity,
                        char* failedPath, size_t failedPathSize);
