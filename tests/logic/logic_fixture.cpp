#include "logic/logic_fixture.h"

#include "process/process_state.h"

void Logic::SetUp() {
    Contract::SetUp();
    InitProcessState(TestModule());
}
