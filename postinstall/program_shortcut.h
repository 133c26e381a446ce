// Rewriting the product's shortcut in the common program menu.
#pragma once

void RefreshProgramShortcut(const char* installFolder);
