// vkmachine hold DIR PATH [--access LETTERS] [--share LETTERS]: another program keeps the file
// open (a virus scanner, the product itself); run DIR PATH: a running program's executable;
// release DIR PATH: that program closes the file; stop DIR: every running program ends.
#include "tools/vkmachine/holds_command.h"

#include <cstring>
#include <iostream>

#include "emulator/machine/host.h"

namespace {

namespace host = platform::host;

const char kUsage[] =
    "usage: vkmachine hold DIR PATH [--access rwdx|a|none] [--share rwd|none]\n"
    "                                another program keeps the file open with that access\n"
    "                                (default rw; x execute, a attributes only, none no access)\n"
    "                                and share mode (default none)\n"
    "       vkmachine run DIR PATH   the file is a running program's executable\n"
    "       vkmachine release DIR PATH   the program holding the file closes it\n"
    "       vkmachine stop DIR       every running program ends (drivers stay loaded until reboot)\n";

int Usage(const std::string& why) {
    std::cerr << "vkmachine: " << why << "\n" << kUsage;
    return 2;
}

// The bits of `letters` ("none" for none): each letter of `names` at most once, giving the
// bit at its place in `bits`.
bool ParseLetters(const std::string& text, const char* names, const DWORD* bits, DWORD* out) {
    *out = 0;
    if (text == "none") return true;
    if (text.empty()) return false;
    for (char c : text) {
        const char* at = c != '\0' ? std::strchr(names, c) : nullptr;
        if (at == nullptr || (*out & bits[at - names])) return false;
        *out |= bits[at - names];
    }
    return true;
}

// The access letters as CreateFileA's rights: read, write, delete, execute, attributes only.
const char kAccessLetters[] = "rwdxa";
const DWORD kAccessRights[] = {GENERIC_READ, GENERIC_WRITE, DELETE, GENERIC_EXECUTE, FILE_READ_ATTRIBUTES};
const char kShareLetters[] = "rwd";
const DWORD kShareBits[] = {FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_DELETE};

// Opens the machine, runs `work` on the path given in UTF-8, closes it; reports what failed.
template <typename Work>
int OnMachine(const std::string& dir, const std::string& pathUtf8, Work work) {
    std::string error, path;
    if (!host::OpenMachine(dir, &error)) {
        std::cerr << "vkmachine: " << error << "\n";
        return 1;
    }
    if (!pathUtf8.empty() && !host::Utf8ToAnsi(pathUtf8, &path)) {
        host::CloseMachine();
        return Usage("\"" + pathUtf8 + "\" cannot be written in the machine's code page");
    }
    DWORD result = work(path);
    host::CloseMachine();
    if (result == ERROR_SUCCESS) return 0;
    std::cerr << "vkmachine: " << (pathUtf8.empty() ? dir : pathUtf8) << ": "
              << (result == ERROR_NOT_FOUND                ? "nothing holds it"
                  : result == ERROR_FILE_NOT_FOUND         ? "no such file"
                  : result == ERROR_PATH_NOT_FOUND         ? "no such folder"
                  : result == ERROR_SHARING_VIOLATION      ? "another hold does not share what this one needs"
                  : result == ERROR_ACCESS_DENIED          ? "access denied (a folder, a file deleted while held, or a driver\n"
                                                             "Windows loaded: only a restart unloads it)"
                                                           : "error " + std::to_string(result))
              << "\n";
    return 1;
}

}  // namespace

int HoldCommand(const std::vector<std::string>& args) {
    if (args.size() < 2 || args[0].compare(0, 2, "--") == 0 || args[1].compare(0, 2, "--") == 0)
        return Usage("hold needs a machine folder and a Windows path");
    DWORD access = GENERIC_READ | GENERIC_WRITE, share = 0;
    for (size_t i = 2; i < args.size(); i += 2) {
        if (args[i] != "--access" && args[i] != "--share") return Usage("unknown option " + args[i]);
        if (i + 1 >= args.size()) return Usage("option " + args[i] + " needs a value");
        bool isAccess = args[i] == "--access";
        bool ok = isAccess ? ParseLetters(args[i + 1], kAccessLetters, kAccessRights, &access)
                           : ParseLetters(args[i + 1], kShareLetters, kShareBits, &share);
        // Attributes only is a kind of its own: no data access beside it.
        if (isAccess && (access & FILE_READ_ATTRIBUTES) && access != FILE_READ_ATTRIBUTES) ok = false;
        if (!ok)
            return Usage(isAccess ? "--access takes the letters r, w, d and x, or a alone, or none"
                                  : "--share takes the letters r, w and d, or none");
    }
    return OnMachine(args[0], args[1], [&](const std::string& path) { return host::HoldFileWithAccess(path, access, share); });
}

int RunCommand(const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage("run needs a machine folder and the Windows path of a program");
    return OnMachine(args[0], args[1], [](const std::string& path) { return host::HoldFile(path, true, false, false, 0, true); });
}

int ReleaseCommand(const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage("release needs a machine folder and a Windows path");
    return OnMachine(args[0], args[1], [](const std::string& path) { return host::ReleaseHeldFiles(path, false); });
}

int StopCommand(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage("stop needs exactly one machine folder");
    int code = OnMachine(args[0], "", [](const std::string&) { return host::ReleaseHeldFiles("", true); });
    return code;
}
