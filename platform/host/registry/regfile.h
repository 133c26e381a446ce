// The registry file codec: registry.reg text (regedit's "Windows Registry Editor Version 5.00"
// format, UTF-8) to the registry tree and back, keeping every value's type and bytes exactly.
#pragma once

#include <string>

#include "platform/host/registry/registry_store.h"

namespace platform::host {

// Parses the whole text of a registry file (UTF-8, or UTF-16LE with a byte-order mark as
// regedit writes it) into `tree`, which must hold the empty roots. On failure `error` is
// "FILE:LINE: what is wrong" and `tree` must be discarded.
bool ParseRegFile(const std::string& text, const std::string& file, RegTree* tree, std::string* error);

// Writes `tree` as registry file text. Fails only for a name RegNameStorable refuses.
bool FormatRegFile(const RegTree& tree, std::string* text, std::string* error);

// True when a key or value name (machine code page) can be written to the file and read back
// unchanged: no line break, and it converts to UTF-8 and back to the same bytes.
bool RegNameStorable(const std::string& name);

}  // namespace platform::host
