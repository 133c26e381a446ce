// The folder picker on the terminal: its title, then a Windows path typed on one line with
// echo, while the dialog's single-key mode is suspended.
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "emulator/dialogs/windows_model.h"

namespace platform::host {
namespace {

// Line mode with echo for the life of the object; the previous mode comes back after.
class LineTerminal {
public:
    LineTerminal() {
        if (tcgetattr(0, &saved_) != 0) return;
        struct termios line = saved_;
        line.c_lflag |= static_cast<tcflag_t>(ICANON | ECHO);
        active_ = tcsetattr(0, TCSANOW, &line) == 0;
    }
    ~LineTerminal() {
        if (active_) tcsetattr(0, TCSANOW, &saved_);
    }
    LineTerminal(const LineTerminal&) = delete;
    LineTerminal& operator=(const LineTerminal&) = delete;

private:
    bool active_ = false;
    struct termios saved_;
};

}  // namespace

bool PromptFolderOnTerminal(const std::string& title, const std::string& refusal, std::string* answer) {
    std::string out;
    if (refusal.empty())
        out = "\n +-- " + title + " --\n | フォルダのパス、空行で取り消し\n";
    else
        out = " | " + refusal + "\n";
    out += " +-> ";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    LineTerminal mode;
    answer->clear();
    for (;;) {
        char c = 0;
        // Read byte by byte, as the single keys are read, so that nothing is buffered twice.
        if (read(0, &c, 1) != 1) return !answer->empty();
        if (c == '\n') break;
        if (c != '\r') answer->push_back(c);
    }
    while (!answer->empty() && answer->back() == ' ') answer->pop_back();
    return true;
}

}  // namespace platform::host
