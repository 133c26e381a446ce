// The operations other software left pending until the restart (PendingFileRenameOperations),
// as the check before the first write reads them.
#pragma once

#include "platform_types.h"

// Where Windows keeps the list: the value, under HKEY_LOCAL_MACHINE, of this key.
extern const char kSessionManager[];
extern const char kPendingOperations[];

// The list as stored: pairs of NUL-terminated names (source, then target, "" for a delete, a
// leading "!" for a rename that replaces), ended by an empty name. Empty when there is none.
struct PendingRenames {
    char* names;  // owned: FreePendingRenames releases it
    DWORD size;   // bytes
};

// Reads the list of the running machine. 1, or 0 when it exists but cannot be read whole.
int ReadPendingRenames(PendingRenames* list);
void FreePendingRenames(PendingRenames* list);

// 1 when an operation of `list` would delete, rename or replace `path` at the restart, or put
// another file at it, other than the one replacing rename of `ownSource` onto `ownTarget` (an
// earlier run's, which this run registers again); either may be null. Names are compared
// without "\??\", "!" and case, as Windows compares them.
int PendingRenameTouches(const PendingRenames& list, const char* path, const char* ownSource, const char* ownTarget);
