// Files, folders and paths of the open machine as vkmachine's commands make them: through the
// machine's own calls, so that its rules (names, path limits, attributes) hold.
#pragma once

#include <string>

// A Windows path given on the command line (UTF-8) in the machine's code page; false unless it
// is a full path below a drive root ("C:\...").
bool MachinePath(const std::string& utf8, std::string* ansi);
// Creates `path` (machine code page) and every folder above it.
bool MakeFolders(const std::string& path, std::string* error);
// Writes `bytes` as the whole file `path`, replacing one that is there.
bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error);
// The folder above `path` (machine code page; a 0x5C trail byte is no separator): "C:\" for a
// folder at the root.
std::string ParentFolder(const std::string& path);
