// Restarting Windows after an update that left files to replace.
#pragma once

// Asks Windows to restart, with the shutdown privilege on the NT family.
void RequestRestart();
