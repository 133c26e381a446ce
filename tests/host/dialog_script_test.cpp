// A scripted dialog takes the words its program names for the dialog's buttons, and no others.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "emulator/dialogs/host_dialog.h"
#include "emulator/machine/host.h"
#include "platform/dialogs.h"
#include "resources/resource.h"
#include "support/temp_machine.h"

namespace {

std::vector<int> commands;  // the commands the dialog's handler received, in order

// Records each command; the Cancel button ends the dialog.
INT_PTR CALLBACK RecordCommands(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_COMMAND) return message == WM_INITDIALOG;
    commands.push_back(LOWORD(wParam));
    if (LOWORD(wParam) == IDCANCEL) platform::EndDialog(dialog, 0);
    return TRUE;
}

TEST(DialogScript, LinesPressTheButtonsOfTheWordsTheProgramGives) {
    vktest::TempMachine machine;
    struct Case {
        std::vector<platform::host::ScriptWord> words;
        std::string script;
        std::vector<int> commands;
        std::string refused;  // what standard error says
    } cases[] = {
        {{{"start", IDOK}, {"exit", IDCANCEL}}, "go\nstart\nexit\n", {IDOK, IDCANCEL},
         "vkupdate: the dialog expects start or exit, not \"go\"\n"},
        // Other words: the usual ones are refused like any other line.
        {{{"go", IDOK}, {"quit", IDCANCEL}}, "start\ngo\nexit\nquit\n", {IDOK, IDCANCEL},
         "vkupdate: the dialog expects go or quit, not \"start\"\n"
         "vkupdate: the dialog expects go or quit, not \"exit\"\n"},
        {{{"a", IDOK}, {"b", IDOK}, {"c", IDCANCEL}}, "b\nx\na\nc\n", {IDOK, IDOK, IDCANCEL},
         "vkupdate: the dialog expects a, b or c, not \"x\"\n"},
        // No words: every line is refused; the end of input is Exit.
        {{}, "start\n", {IDCANCEL}, "vkupdate: the dialog expects no word, not \"start\"\n"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.script);
        std::istringstream in(c.script);
        std::ostringstream out;
        platform::host::SetDialogIo(&in, &out, false, c.words);
        commands.clear();
        testing::internal::CaptureStderr();
        platform::DialogBoxParamA(platform::host::ModuleHandle(), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                  RecordCommands, 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.refused);
        EXPECT_EQ(commands, c.commands);
    }
    platform::host::SetDialogIo(&std::cin, &std::cout, false);
}

}  // namespace
