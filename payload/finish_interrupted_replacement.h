// Finishing a replacement that an update left halfway.
#pragma once

// Finishes the replacement of the table's target `targetName` (such as "VKTARN.EXE") in
// `folder` that an update left between deleting the old file and renaming the new one: when
// the folder holds no such file but holds the row's temp file complete, the temp file is
// renamed to it. Returns 1 when it was.
int FinishInterruptedReplacement(const char* folder, const char* targetName);
