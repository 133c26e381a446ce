// vkmachine install-product: an installed product of a chosen build on a machine.
#pragma once

#include <string>
#include <vector>

// args: DIR --version TEXT [--size N] [--folder PATH] [--database-size N]. Returns the exit code.
int InstallProduct(const std::vector<std::string>& args);
