// A fresh emulated machine in a temporary folder, opened for one test and removed after it.
#pragma once

#include <string>

#include "support/temp_folder.h"

namespace vktest {

class TempMachine {
public:
    // `ini` is the text of machine.ini; the registry starts empty unless `reg` is given.
    explicit TempMachine(const std::string& ini = "", const std::string& reg = "");
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    const std::string& dir() const { return folder_.dir(); }
    // Host path of a Windows path on this machine ("C:\x" -> <dir>/drive_c/x), spelled as given.
    std::string host(const std::string& windowsPath) const;
    // Reads or writes a whole host file (UTF-8 or binary, as the bytes come).
    static std::string ReadHostFile(const std::string& path);
    static void WriteHostFile(const std::string& path, const std::string& bytes);
    // Reopens the machine from its folder, as a new process would see it.
    void Reopen();

private:
    TempFolder folder_{"vkmachine"};
};

// While it exists, no file of this process can grow past `bytes` (writes fail with EFBIG, as
// on a full disk, whatever the user's rights).
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long long old_;
    void (*oldHandler_)(int);
};

}  // namespace vktest
