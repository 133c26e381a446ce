// What tests may ask of the emulated shell.
#pragma once

namespace platform::host {

// Shell-link objects created and not yet released.
int LiveShellLinks();
// CoInitialize calls not yet matched by CoUninitialize on this thread.
int ComInitializeDepth();

}  // namespace platform::host
