// The Windows process entry: hands the module to the updater's entry point.
#include "app/entry.h"

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR, int) { return RunUpdater(module); }
