// Files, folders and paths of the open machine as vkmachine's commands make them: through the
// machine's own calls, so that its rules (names, path limits, attributes) hold.
#pragma once

#include <string>
#include <vector>

// A command line vkmachine cannot take: one line saying what is wrong and where the usage is.
// Returns the exit code of a usage error, 2.
int UsageError(const std::string& why);

// A number of the command line, decimal or 0x... hexadecimal, without a sign, up to `limit`.
bool Number(const std::string& text, unsigned long long limit, unsigned long long* value);

// While one exists, MakeFolders and WriteWholeFile note what they make (the folders, and the
// files that were not there), so that a command that fails can take it away: Undo removes
// them, the last first, each folder only when nothing else is in it.
class WriteLog {
public:
    WriteLog();
    ~WriteLog();
    WriteLog(const WriteLog&) = delete;
    WriteLog& operator=(const WriteLog&) = delete;
    void Undo();
    // Notes a folder or file made (a Windows path), or a host folder made for a new drive.
    static void Note(bool folder, const std::string& path, bool onHost = false);

private:
    struct Made {
        bool folder;
        bool onHost;
        std::string path;
    };
    std::vector<Made> made_;
    WriteLog* outer_;
};

// A Windows path given on the command line (UTF-8) in the machine's code page; false unless it
// is a full path below a drive root ("C:\...").
bool MachinePath(const std::string& utf8, std::string* ansi);
// Creates `path` (machine code page) and every folder above it.
bool MakeFolders(const std::string& path, std::string* error);
// Writes `bytes` as the whole file `path`, replacing one that is there.
bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error);
// The folder above `path` (machine code page; a 0x5C trail byte is no separator): "C:\" for a
// folder at the root.
std::string ParentFolder(const std::string& path);
