// Moving the product's data files into the user's documents folder.
#pragma once

void RelocateDataFiles(const char* installFolder);

// Calls `visit` with the name of each data file of the install folder, in the order they move:
// "VKCDDB.DB" and "CHG.LOG" (whether or not they are there), then every "*.LST" found.
typedef void (*DataFileVisitor)(const char* name, void* context);
void ForEachDataFile(const char* installFolder, DataFileVisitor visit, void* context);
