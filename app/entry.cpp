#include "app/entry.h"

int RunUpdater(HINSTANCE) { return 0; }
