// The installation routes: the common route, then the one of the running Windows family.
#pragma once

#include "payload/install_one_file.h"

enum RouteFolder { INSTALL_FOLDER, SYSTEM_FOLDER };

struct RouteStep {
    int row;  // row of PayloadTable
    RouteFolder folder;
    Replacement replacement;
};

struct InstallRoute {
    const RouteStep* steps;
    int stepCount;
    int common;            // 1: moves the progress bar and names the failing file
    int registersDriver;   // 1: RegisterDriverService follows the last step
};

extern const InstallRoute CommonRoute;
extern const InstallRoute Win9xRoute;  // platform identifier 1
extern const InstallRoute Nt4Route;    // NT family below major version 5
extern const InstallRoute Nt5Route;    // NT family from major version 5 on
