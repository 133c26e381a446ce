// The dialog on the terminal takes what it shows from the dialog, not from the product.
#include <gtest/gtest.h>

#include "platform/dialogs.h"
#include "emulator/dialogs/host_dialog.h"
#include "emulator/dialogs/terminal_view.h"
#include "emulator/machine/host.h"
#include "resources/resource.h"
#include "support/temp_machine.h"

namespace {

TEST(TerminalView, KeyHelpNamesTheButtonsByTheirLabelsAndMnemonics) {
    vktest::TempMachine machine;
    HWND dialog = platform::host::CreateDialogWindows(platform::host::ModuleHandle(), MAKEINTRESOURCEA(IDD_MAIN));
    ASSERT_NE(dialog, nullptr);
    // The OK button's label, the Cancel button's, and the help they make.
    const char* const cases[][3] = {
        {"&Run", "&close", " R/Enter: Run   C/Esc: close"},
        {"Ru&n", "Close", " N/Enter: Run   Esc: Close"},
        {"Run&", "Cl&ose", " Enter: Run   O/Esc: Close"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(platform::SetWindowTextA(platform::GetDlgItem(dialog, IDOK), c[0]));
        ASSERT_TRUE(platform::SetWindowTextA(platform::GetDlgItem(dialog, IDCANCEL), c[1]));
        EXPECT_EQ(platform::host::KeyHelp(platform::host::FromHandle(dialog)), c[2]) << c[0];
    }
    platform::host::DestroyDialogWindows(dialog);
}

TEST(TerminalView, KeysPressTheButtonsTheHelpNames) {
    using platform::host::Key;
    vktest::TempMachine machine;
    HWND dialog = platform::host::CreateDialogWindows(platform::host::ModuleHandle(), MAKEINTRESOURCEA(IDD_MAIN));
    ASSERT_NE(dialog, nullptr);
    // The OK button's label, the Cancel button's, a key, its letter and the button it presses.
    struct Case {
        const char* ok;
        const char* cancel;
        Key key;
        char letter;
        int button;
    } cases[] = {
        {"&Run", "&close", Key::Letter, 'R', IDOK},
        {"&Run", "&close", Key::Letter, 'C', IDCANCEL},
        {"&Run", "&close", Key::Letter, 'S', 0},  // a key no label names
        {"Ru&n", "Cl&ose", Key::No, 'N', IDOK},    // the box keys' letters too
        {"Ru&n", "Cl&ose", Key::Ok, 'O', IDCANCEL},
        {"Run&", "Close", Key::Letter, 'C', 0},    // no mnemonic: only Enter and Esc
        {"Run&", "Close", Key::Enter, 0, IDOK},
        {"Run&", "Close", Key::Esc, 0, IDCANCEL},
        {"&Run", "&close", Key::Down, 0, 0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(platform::SetWindowTextA(platform::GetDlgItem(dialog, IDOK), c.ok));
        ASSERT_TRUE(platform::SetWindowTextA(platform::GetDlgItem(dialog, IDCANCEL), c.cancel));
        EXPECT_EQ(platform::host::DialogButtonForKey(platform::host::FromHandle(dialog), c.key, c.letter), c.button)
            << c.ok << " " << c.cancel << " key " << c.letter;
    }
    platform::host::DestroyDialogWindows(dialog);
}

}  // namespace
