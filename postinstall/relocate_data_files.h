// Moving the product's data files into the user's documents folder.
#pragma once

void RelocateDataFiles(const char* installFolder);
