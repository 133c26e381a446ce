#include "payload/install_routes.h"

#include <iterator>

namespace {

const RoutePart kCommonParts[] = {{PAYLOAD_COMMON, INSTALL_FOLDER}};
// The install-folder rows first, then the VxD in the system folder (95/98/Me hold no file of a
// VxD they loaded: it is replaced at once).
const RoutePart kWin9xParts[] = {{PAYLOAD_9X_INSTALL, INSTALL_FOLDER}, {PAYLOAD_9X_SYSTEM, SYSTEM_FOLDER}};
const RoutePart kNt4Parts[] = {{PAYLOAD_NT4, SYSTEM_FOLDER}};
const RoutePart kNt5Parts[] = {{PAYLOAD_NT5, SYSTEM_FOLDER}};

}  // namespace

const InstallRoute CommonRoute = {kCommonParts, static_cast<int>(std::size(kCommonParts)), REPLACE_NOW, 1, 0};
const InstallRoute Win9xRoute = {kWin9xParts, static_cast<int>(std::size(kWin9xParts)), REPLACE_NOW, 0, 0};
// Both drivers are replaced at once, or at the next restart while Windows holds them loaded.
const InstallRoute Nt4Route = {kNt4Parts, static_cast<int>(std::size(kNt4Parts)), REPLACE_NOW_OR_AT_RESTART, 0, 0};
// The driver in use is replaced at the next restart.
const InstallRoute Nt5Route = {kNt5Parts, static_cast<int>(std::size(kNt5Parts)), REPLACE_AT_RESTART, 0, 1};
