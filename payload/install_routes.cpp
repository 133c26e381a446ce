#include "payload/install_routes.h"

#include <iterator>

namespace {

const RouteStep kCommonSteps[] = {
    {0, INSTALL_FOLDER, REPLACE_NOW},  {1, INSTALL_FOLDER, REPLACE_NOW},  {2, INSTALL_FOLDER, REPLACE_NOW},
    {3, INSTALL_FOLDER, REPLACE_NOW},  {4, INSTALL_FOLDER, REPLACE_NOW},  {5, INSTALL_FOLDER, REPLACE_NOW},
    {6, INSTALL_FOLDER, REPLACE_NOW},  {7, INSTALL_FOLDER, REPLACE_NOW},  {8, INSTALL_FOLDER, REPLACE_NOW},
    {9, INSTALL_FOLDER, REPLACE_NOW},  {10, INSTALL_FOLDER, REPLACE_NOW}, {11, INSTALL_FOLDER, REPLACE_NOW},
    {12, INSTALL_FOLDER, REPLACE_NOW}, {13, INSTALL_FOLDER, REPLACE_NOW}, {14, INSTALL_FOLDER, REPLACE_NOW},
    {15, INSTALL_FOLDER, REPLACE_NOW}, {16, INSTALL_FOLDER, REPLACE_NOW}, {17, INSTALL_FOLDER, REPLACE_NOW},
    {18, INSTALL_FOLDER, REPLACE_NOW}, {19, INSTALL_FOLDER, REPLACE_NOW}, {20, INSTALL_FOLDER, REPLACE_NOW},
    {21, INSTALL_FOLDER, REPLACE_NOW}, {22, INSTALL_FOLDER, REPLACE_NOW}, {23, INSTALL_FOLDER, REPLACE_NOW},
    {24, INSTALL_FOLDER, REPLACE_NOW}, {25, INSTALL_FOLDER, REPLACE_NOW}, {26, INSTALL_FOLDER, REPLACE_NOW},
    {27, INSTALL_FOLDER, REPLACE_NOW}, {28, INSTALL_FOLDER, REPLACE_NOW}, {29, INSTALL_FOLDER, REPLACE_NOW},
    {30, INSTALL_FOLDER, REPLACE_NOW}, {31, INSTALL_FOLDER, REPLACE_NOW}, {32, INSTALL_FOLDER, REPLACE_NOW},
    {33, INSTALL_FOLDER, REPLACE_NOW},
};

// The install-folder rows first; the system folder is looked up only when row 34 comes.
const RouteStep kWin9xSteps[] = {
    {35, INSTALL_FOLDER, REPLACE_NOW},
    {36, INSTALL_FOLDER, REPLACE_NOW},
    {37, INSTALL_FOLDER, REPLACE_NOW},
    {34, SYSTEM_FOLDER, REPLACE_NOW},
};

const RouteStep kNt4Steps[] = {
    {38, SYSTEM_FOLDER, REPLACE_NOW},
    {39, SYSTEM_FOLDER, REPLACE_NOW},
};

// The driver in use is replaced at the next restart.
const RouteStep kNt5Steps[] = {
    {40, SYSTEM_FOLDER, REPLACE_AT_RESTART},
};

}  // namespace

const InstallRoute CommonRoute = {kCommonSteps, static_cast<int>(std::size(kCommonSteps)), 1, 0};
const InstallRoute Win9xRoute = {kWin9xSteps, static_cast<int>(std::size(kWin9xSteps)), 0, 0};
const InstallRoute Nt4Route = {kNt4Steps, static_cast<int>(std::size(kNt4Steps)), 0, 0};
const InstallRoute Nt5Route = {kNt5Steps, static_cast<int>(std::size(kNt5Steps)), 0, 1};
