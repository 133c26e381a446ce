// The installation routes: the common route, then the one of the running Windows family.
#pragma once

#include "payload/install_one_file.h"
#include "payload/payload_table.h"

enum RouteFolder { INSTALL_FOLDER, SYSTEM_FOLDER };

// The rows of one segment of the payload table, in order, into one folder.
struct RoutePart {
    PayloadSegment rows;
    RouteFolder folder;
};

struct InstallRoute {
    const RoutePart* parts;
    int partCount;
    Replacement replacement;
    int common;           // 1: moves the progress bar and names the failing file
    int registersDriver;  // 1: RegisterDriverService follows the last row
};

extern const InstallRoute CommonRoute;
extern const InstallRoute Win9xRoute;  // platform identifier 1
extern const InstallRoute Nt4Route;    // NT family below major version 5
extern const InstallRoute Nt5Route;    // NT family from major version 5 on
