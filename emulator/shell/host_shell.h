// What the host shell keeps, for tests.
#pragma once

namespace platform::host {

// Items the folder picker returned that were not yet released with CoTaskMemFree.
int OpenShellItems();

}  // namespace platform::host
