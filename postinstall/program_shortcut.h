// Rewriting the product's shortcut in the common program menu.
#pragma once

void RefreshProgramShortcut(const char* installFolder);

// Saves a new shortcut at `shortcutFile` with the target, arguments, working folder and show
// command given, through the shell-link object. Returns 1 when the file was saved, 0 otherwise.
int CreateShellShortcut(const char* target, const char* arguments, const char* workingFolder,
                        int showCommand, const char* shortcutFile);
