// A temporary host folder for one test, removed with all it holds when the object goes.
#pragma once

#include <string>

namespace vktest {

class TempFolder {
public:
    // Makes /tmp/<prefix>-XXXXXX. Throws std::runtime_error when it cannot: a fixture whose
    // member throws fails its test before the body runs, rather than work in "/".
    explicit TempFolder(const std::string& prefix = "vktest");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& dir() const { return dir_; }
    // <dir>/<name>.
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
};

}  // namespace vktest
