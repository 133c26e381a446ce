// The main dialog's handler on the host windows: initialisation, logo, colours, Start, Exit.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/main_dialog.h"
#include "platform/dialogs.h"
#include "emulator/dialogs/host_dialog.h"
#include "emulator/machine/host.h"
#include "platform/resources.h"
#include "platform/system.h"
#include "process/process_state.h"
#include "resources/resource.h"
#include "support/decision_buffer.h"
#include "support/rc_script.h"
#include "support/temp_machine.h"
#include "text/text_ids.h"

namespace {

class MainDialog : public ::testing::Test {
protected:
    void Open(const std::string& ini = "") {
        machine_ = std::make_unique<vktest::TempMachine>(ini);
        InitProcessState(platform::host::ModuleHandle());
        platform::host::SetDialogIo(&in_, &out_, false);
        dialog_ = platform::host::CreateDialogWindows(AppModule, MAKEINTRESOURCEA(IDD_MAIN));
        ASSERT_NE(dialog_, nullptr);
        MainDialogProc(dialog_, WM_INITDIALOG, 0, 0);
    }
    void TearDown() override {
        platform::host::DestroyDialogWindows(dialog_);
        platform::host::SetDialogIo(&std::cin, &std::cout, false);
    }
    void Command(int id, int code = 0) {
        EXPECT_EQ(MainDialogProc(dialog_, WM_COMMAND, MAKEWPARAM(id, code), 0), TRUE);
    }
    void Answer(const std::string& lines) {
        in_.clear();
        in_.str(lines);
    }
    HWND Item(int id) { return platform::GetDlgItem(dialog_, id); }

    std::unique_ptr<vktest::TempMachine> machine_;
    std::istringstream in_;
    std::ostringstream out_;
    HWND dialog_ = nullptr;
};

// The restart question as the scripted dialog reports it, its texts from the string table.
std::string RestartEvent() {
    std::string text;
    for (char c : vktest::RcStrings().at(IDS_RESTART_QUESTION)) text += c == '\n' ? std::string("\\n") : std::string(1, c);
    return "{\"event\":\"message\",\"style\":68,\"caption\":\"" + vktest::RcStrings().at(IDS_CAPTION) +
           "\",\"text\":\"" + text + "\"}\n";
}

TEST_F(MainDialog, InitialisationSetsRangeAndWelcomeText) {
    Open();
    int low = -1, high = -1, pos = -1;
    platform::host::ProgressState(Item(IDC_PROGRESS), &low, &high, &pos);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 100);
    EXPECT_EQ(pos, 0);
    HRSRC found = platform::FindResourceExA(AppModule, RT_RCDATA, MAKEINTRESOURCEA(IDR_WELCOME_TEXT), 0);
    ASSERT_NE(found, nullptr);
    const char* stored = static_cast<const char*>(platform::LockResource(platform::LoadResource(AppModule, found)));
    EXPECT_EQ(platform::host::WindowText(Item(IDC_WELCOME_TEXT)), std::string(stored));
    EXPECT_EQ(platform::host::WindowText(Item(IDC_WELCOME_TEXT)).size(), 4478u);
}

TEST_F(MainDialog, LogoIsDrawnAtTheFramesCornerAtItsOwnSize) {
    Open();
    platform::host::ClearDrawing();
    EXPECT_EQ(MainDialogProc(dialog_, WM_PAINT, 0, 0), TRUE);
    RECT frame;
    ASSERT_TRUE(platform::GetWindowRect(Item(IDC_LOGO_FRAME), &frame));
    POINT corner = {frame.left, frame.top};
    ASSERT_TRUE(platform::ScreenToClient(dialog_, &corner));
    platform::host::ImageDraw draw = platform::host::LastImageDraw();
    ASSERT_TRUE(draw.drawn);
    EXPECT_EQ(draw.x, corner.x);
    EXPECT_EQ(draw.y, corner.y);
    EXPECT_EQ(draw.width, 110);
    EXPECT_EQ(draw.height, 28);
    EXPECT_EQ(draw.style, static_cast<UINT>(ILD_TRANSPARENT));
    EXPECT_EQ(draw.mask, RGB(255, 255, 255));
    EXPECT_EQ(platform::host::OpenGdiObjects(), 0) << "bitmap, image list and paint released";
    // Nothing is cached: a second paint loads and draws again.
    platform::host::ClearDrawing();
    MainDialogProc(dialog_, WM_PAINT, 0, 0);
    EXPECT_TRUE(platform::host::LastImageDraw().drawn);
}

TEST_F(MainDialog, OnlyTheTextBoxIsWhite) {
    Open();
    PAINTSTRUCT paint;
    HDC dc = platform::BeginPaint(dialog_, &paint);
    platform::SetBkColor(dc, RGB(1, 2, 3));
    platform::SetTextColor(dc, RGB(4, 5, 6));
    INT_PTR brush = MainDialogProc(dialog_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                   reinterpret_cast<LPARAM>(Item(IDC_WELCOME_TEXT)));
    EXPECT_EQ(brush, reinterpret_cast<INT_PTR>(platform::GetStockObject(WHITE_BRUSH)));
    COLORREF background = 0, text = 1;
    platform::host::DcColors(dc, &background, &text);
    EXPECT_EQ(background, RGB(255, 255, 255));
    EXPECT_EQ(text, RGB(0, 0, 0));

    platform::SetBkColor(dc, RGB(1, 2, 3));
    HWND notice = platform::GetDlgItem(dialog_, IDC_PROGRESS);  // any other control
    EXPECT_EQ(MainDialogProc(dialog_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                             reinterpret_cast<LPARAM>(notice)),
              FALSE);
    platform::host::DcColors(dc, &background, &text);
    EXPECT_EQ(background, RGB(1, 2, 3));
    platform::EndPaint(dialog_, &paint);
}

TEST_F(MainDialog, StartDisablesBothButtonsWhileTheRunAsksAndLeavesTheBar) {
    Open();
    platform::SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_SETPOS, 100, 0);
    // Whether Start and Exit take clicks at each question of the run: the folder picker (no
    // installation is recorded; cancelled), then the message that none was found.
    std::vector<std::pair<bool, bool>> enabledAtRequest;
    vktest::DecisionBuffer decisions({"", "ok"}, [&] {
        enabledAtRequest.push_back(
            {platform::host::WindowEnabled(Item(IDOK)), platform::host::WindowEnabled(Item(IDCANCEL))});
    });
    std::istream in(&decisions);
    platform::host::SetDialogIo(&in, &out_, false);
    Command(IDOK, 0);
    EXPECT_EQ(enabledAtRequest, (std::vector<std::pair<bool, bool>>{{false, false}, {false, false}}));
    EXPECT_TRUE(platform::host::WindowEnabled(Item(IDOK)));
    EXPECT_TRUE(platform::host::WindowEnabled(Item(IDCANCEL)));
    EXPECT_FALSE(platform::host::DialogEnded(dialog_));
    int low = 0, high = 0, pos = 0;
    platform::host::ProgressState(Item(IDC_PROGRESS), &low, &high, &pos);
    EXPECT_EQ(pos, 100);
}

TEST_F(MainDialog, ExitWithoutUpdateEndsAtOnce) {
    Open();
    Command(IDCANCEL);
    EXPECT_TRUE(platform::host::DialogEnded(dialog_));
    EXPECT_EQ(platform::host::CallCount("MessageBoxA"), 0);
    EXPECT_EQ(out_.str(), "");
}

TEST_F(MainDialog, OtherCommandsChangeNothing) {
    Open();
    Command(IDC_WELCOME_TEXT, 0x0300);  // EN_CHANGE from the text box
    Command(IDC_PROGRESS);
    RestartPending = 1;
    Command(IDC_LOGO_FRAME);
    EXPECT_FALSE(platform::host::DialogEnded(dialog_));
    EXPECT_TRUE(platform::host::WindowEnabled(Item(IDOK)));
    EXPECT_EQ(platform::host::CallCount("MessageBoxA"), 0);
    EXPECT_EQ(platform::host::CallCount("EnableWindow"), 0);
    EXPECT_EQ(MainDialogProc(dialog_, 0x0200 /* WM_MOUSEMOVE */, 0, 0), FALSE);
}

TEST_F(MainDialog, DecliningTheRestartEndsTheDialog) {
    Open();
    RestartPending = 1;
    Answer("no\n");
    Command(IDCANCEL);
    EXPECT_EQ(out_.str(), RestartEvent());
    EXPECT_TRUE(platform::host::DialogEnded(dialog_));
    EXPECT_EQ(platform::host::CallCount("ExitWindowsEx"), 0);
}

TEST_F(MainDialog, RestartOnNtTakesThePrivilegeAndKeepsTheDialogOpen) {
    Open("[windows]\nplatform = 2\nmajor = 5\nminor = 1\n");
    RestartPending = 1;
    int restarts = platform::host::RestartRequests();
    Answer("yes\nyes\n");
    Command(IDCANCEL);
    EXPECT_TRUE(platform::host::ShutdownPrivilegeEnabled());
    EXPECT_EQ(platform::host::RestartRequests(), restarts + 1);
    EXPECT_FALSE(platform::host::DialogEnded(dialog_));
    EXPECT_EQ(out_.str(), RestartEvent() + "{\"event\":\"restart\"}\n");
    // A second Exit asks again.
    Command(IDCANCEL);
    EXPECT_EQ(platform::host::CallCount("MessageBoxA"), 2);
    EXPECT_EQ(platform::host::RestartRequests(), restarts + 2);
    EXPECT_FALSE(platform::host::DialogEnded(dialog_));
}

TEST_F(MainDialog, RestartOn9xTouchesNoPrivilege) {
    Open("[windows]\nplatform = 1\nmajor = 4\nminor = 10\n");
    RestartPending = 1;
    int restarts = platform::host::RestartRequests();
    Answer("yes\n");
    Command(IDCANCEL);
    EXPECT_EQ(platform::host::CallCount("OpenProcessToken"), 0);
    EXPECT_EQ(platform::host::CallCount("AdjustTokenPrivileges"), 0);
    EXPECT_EQ(platform::host::RestartRequests(), restarts + 1);
    EXPECT_FALSE(platform::host::DialogEnded(dialog_));
}

TEST_F(MainDialog, RefusedRestartIsNotReportedAndTheDialogStays) {
    Open();
    RestartPending = 1;
    platform::host::FailCall("AdjustTokenPrivileges", 1, ERROR_ACCESS_DENIED);
    int restarts = platform::host::RestartRequests();
    Answer("yes\n");
    Command(IDCANCEL);
    EXPECT_EQ(platform::host::CallCount("ExitWindowsEx"), 1);
    EXPECT_EQ(platform::host::RestartRequests(), restarts) << "no privilege, no restart on NT";
    EXPECT_FALSE(platform::host::DialogEnded(dialog_));
    EXPECT_EQ(platform::host::CallCount("MessageBoxA"), 1) << "nothing reported";
}

TEST_F(MainDialog, HandlesOfOneKindAreRefusedByTheCallsOfAnother) {
    HBITMAP bitmap = platform::LoadBitmapA(platform::host::ModuleHandle(), MAKEINTRESOURCEA(IDB_LOGO));
    ASSERT_NE(bitmap, nullptr);
    HIMAGELIST list = platform::ImageList_Create(4, 4, ILC_MASK | ILC_COLORDDB, 1, 1);
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(platform::DeleteObject(reinterpret_cast<HGDIOBJ>(list)));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(platform::ImageList_Destroy(reinterpret_cast<HIMAGELIST>(bitmap)));
    EXPECT_EQ(platform::ImageList_AddMasked(list, reinterpret_cast<HBITMAP>(list), 0), -1);
    EXPECT_TRUE(platform::ImageList_Destroy(list));
    EXPECT_TRUE(platform::DeleteObject(bitmap));
    EXPECT_EQ(platform::host::OpenGdiObjects(), 0);
}

}  // namespace
