// Decisions for the scripted dialog, one line at a time, with a look at the program before each.
#pragma once

#include <functional>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

namespace vktest {

// Hands the dialog its decision lines one at a time and calls `onRequest` at each request,
// that is, while the window that asked for the decision (a message box, the folder picker) is
// still open: a test sees there what the user sees.
class DecisionBuffer : public std::streambuf {
public:
    explicit DecisionBuffer(std::vector<std::string> lines, std::function<void()> onRequest = nullptr)
        : lines_(std::move(lines)), onRequest_(std::move(onRequest)) {}

protected:
    int_type underflow() override {
        if (next_ == lines_.size()) return traits_type::eof();
        if (onRequest_) onRequest_();
        current_ = lines_[next_++] + "\n";
        setg(&current_[0], &current_[0], &current_[0] + current_.size());
        return traits_type::to_int_type(current_[0]);
    }

private:
    std::vector<std::string> lines_;
    std::function<void()> onRequest_;
    size_t next_ = 0;
    std::string current_;
};

}  // namespace vktest
