// The emulated registry (host modules only): one tree of keys and values per root, kept in
// memory, read from <machine>/registry.reg and the journal beside it (registry.journal), and
// saved at every change: the change is appended to the journal, which is folded into
// registry.reg once it has grown to the size of the file.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/registry/reg_tree.h"
#include "platform_types.h"

namespace platform::host {

// The system's own access, which `admin = 0` does not limit (vkmachine reboot reads and clears
// PendingFileRenameOperations): a value's type and bytes, and its removal (saved at once).
// ERROR_FILE_NOT_FOUND for a missing key or value.
DWORD RegReadSystemValue(int root, const std::string& keyPath, const std::string& name, DWORD* type,
                         std::string* data);
DWORD RegDeleteSystemValue(int root, const std::string& keyPath, const std::string& name);

// The loaded registry; empty when no machine is open.
const RegTree& Registry();
// Changes whenever a registry is loaded or unloaded, so that old key handles go stale.
unsigned RegistryGeneration();

// Changes the registry: `plan` looks at the registry as it is now, other processes' changes
// included, and lists the changes to make, or returns an error (which is returned, nothing
// changed). The changes are saved before the registry in memory takes them; a failed save
// gives ERROR_CANTWRITE and leaves both the registry and its files as they were.
DWORD ChangeRegistry(const std::function<DWORD(const RegTree& tree, std::vector<RegChange>* changes)>& plan);

}  // namespace platform::host
