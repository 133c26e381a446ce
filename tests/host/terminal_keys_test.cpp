// Keys in the terminal's message boxes answer as MessageBoxA takes them.
#include <gtest/gtest.h>

#include "emulator/dialogs/terminal_view.h"

namespace {

using platform::host::BoxAnswer;
using platform::host::Key;

TEST(TerminalMessageBox, KeysAnswerAsWindowsBoxesTakeThem) {
    const UINT restart = MB_YESNO | MB_ICONINFORMATION, question = MB_YESNO | MB_ICONQUESTION;
    const UINT noFirst = MB_YESNO | MB_DEFBUTTON2, error = MB_OK | MB_ICONERROR;
    struct Case {
        Key key;
        UINT style;
        int answer;
    } cases[] = {
        // Enter presses the default button: the first unless the style names the second.
        {Key::Enter, restart, IDYES}, {Key::Enter, question, IDYES}, {Key::Enter, noFirst, IDNO},
        {Key::Enter, MB_ICONINFORMATION, IDOK}, {Key::Enter, error, IDOK},
        {Key::Yes, restart, IDYES}, {Key::No, restart, IDNO}, {Key::Yes, noFirst, IDYES},
        {Key::Ok, error, IDOK}, {Key::Esc, error, IDOK},
        // The end of input takes the safe answer.
        {Key::End, question, IDNO}, {Key::End, error, IDOK},
        // A Yes/No box has no Cancel: Esc does nothing there (an OK box takes it as OK); keys
        // of other buttons neither.
        {Key::Esc, restart, 0}, {Key::Letter, restart, 0}, {Key::Ok, restart, 0}, {Key::Letter, question, 0},
        {Key::Yes, error, 0}, {Key::No, error, 0}, {Key::Letter, error, 0}, {Key::None, error, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BoxAnswer(c.key, c.style), c.answer) << "key " << static_cast<int>(c.key) << " style " << c.style;
}

}  // namespace
