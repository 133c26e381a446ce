// The update run inside the main dialog, over a machine with build 3.15 installed: when the
// restart becomes pending, and that the post-install steps cannot turn a success into a failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "platform/dialogs.h"
#include "emulator/dialogs/host_dialog.h"
#include "emulator/machine/host.h"
#include "platform/system.h"
#include "process/process_state.h"
#include "resources/resource.h"
#include "support/decision_buffer.h"
#include "support/temp_folder.h"

namespace {

class UpdateRun : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tool = std::string(VK_BINARY_DIR) + "/vkmachine";
        std::string machine = temp_.path("m");
        ASSERT_EQ(std::system((tool + " create " + machine + " >/dev/null").c_str()), 0);
        ASSERT_EQ(std::system((tool + " install-product " + machine + " --version '3, 1, 5, 0' >/dev/null").c_str()), 0);
        std::string error;
        ASSERT_TRUE(platform::host::OpenMachine(machine, &error)) << error;
        InitProcessState(platform::host::ModuleHandle());
    }
    void TearDown() override {
        platform::host::DestroyDialogWindows(dialog_);
        platform::host::SetDialogIo(&std::cin, &std::cout, false);
        platform::host::CloseMachine();
    }
    // Opens the dialog reading its decisions from `buffer`.
    void Open(std::streambuf* buffer) {
        in_.rdbuf(buffer);
        platform::host::SetDialogIo(&in_, &out_, false);
        dialog_ = platform::host::CreateDialogWindows(AppModule, MAKEINTRESOURCEA(IDD_MAIN));
        ASSERT_NE(dialog_, nullptr);
        MainDialogProc(dialog_, WM_INITDIALOG, 0, 0);
    }
    // The message boxes shown so far, by their "text" field.
    int Messages(const std::string& fragment) {
        int count = 0;
        std::istringstream lines(out_.str());
        for (std::string line; std::getline(lines, line);)
            if (line.find("\"event\":\"message\"") != std::string::npos && line.find(fragment) != std::string::npos)
                ++count;
        return count;
    }

    vktest::TempFolder temp_{"vkupdate-run"};
    std::istream in_{nullptr};
    std::ostringstream out_;
    HWND dialog_ = nullptr;
};

const char kDone[] = "アップデートは正常に終了しました。";
const char kRestart[] = "システムを再起動する必要があります";

TEST_F(UpdateRun, RestartBecomesPendingOnlyOnceTheSuccessMessageIsClosed) {
    // RestartPending at each request, while the window that asked is still open.
    std::vector<int> pendingAtRequest;
    vktest::DecisionBuffer decisions({"ok", "no"}, [&] { pendingAtRequest.push_back(RestartPending); });
    Open(&decisions);
    MainDialogProc(dialog_, WM_COMMAND, IDOK, 0);
    MainDialogProc(dialog_, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(Messages(kDone), 1);
    EXPECT_EQ(Messages(kRestart), 1);
    // The success message asked while the flag was still clear; the restart question after it.
    EXPECT_EQ(pendingAtRequest, (std::vector<int>{0, 1}));
    EXPECT_TRUE(platform::host::DialogEnded(dialog_));
}

TEST_F(UpdateRun, FailingPostInstallStepsStillEndInSuccess) {
    // The data files cannot be copied and the shell-folder key cannot be opened, on every call.
    platform::host::FailCall("CopyFileA", 1, ERROR_ACCESS_DENIED, true);
    platform::host::FailCall("RegOpenKeyA", 1, ERROR_ACCESS_DENIED, true);
    vktest::DecisionBuffer decisions({"ok", "no"});
    Open(&decisions);
    MainDialogProc(dialog_, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(Messages(kDone), 1);
    EXPECT_EQ(RestartPending, 1);
    EXPECT_GT(platform::host::CallCount("CopyFileA") + platform::host::CallCount("RegOpenKeyA"), 0)
        << "the faults must have been met";
}

}  // namespace
