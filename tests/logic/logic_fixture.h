// Tests of the logic that run on both builds: natively over a fresh emulated machine, and
// under Wine over the real calls. The sandbox is the contract tests' (a folder and a key of
// the test's own); the updater's state is set up as the entry point sets it.
#pragma once

#include "contract/fixture.h"

// The module that holds the updater's compiled resources in this test program.
HINSTANCE TestModule();

class Logic : public Contract {
protected:
    void SetUp() override;
};
