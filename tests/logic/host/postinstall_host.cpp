#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "logic/postinstall_support.h"
#include "platform/files.h"
#include "emulator/machine/host.h"
#include "emulator/registry/registry_store.h"
#include "support/run_command.h"

namespace {

// The text after "<label> :" on a line of lnkinfo's report, tabs trimmed.
std::string Field(const std::string& report, const std::string& label) {
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        size_t start = line.find_first_not_of('\t');
        if (start == std::string::npos || line.compare(start, label.size(), label) != 0) continue;
        size_t colon = line.find(": ", start + label.size());
        if (colon == std::string::npos) continue;
        std::string rest = line.substr(start + label.size(), colon - start - label.size());
        if (rest.find_first_not_of('\t') != std::string::npos) continue;  // a longer label
        return line.substr(colon + 2);
    }
    return "";
}

}  // namespace

ShortcutInfo ReadShortcut(const std::string& path) {
    ShortcutInfo info;
    std::string host, utf8;
    if (platform::host::ToHostPath(path, &host) != ERROR_SUCCESS) return info;
    std::ifstream in(host, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 0x4C) return info;
    std::string report;
    if (vktest::RunCommand("lnkinfo -c windows-932 '" + host + "'", &report) != 0) return info;
    auto ansi = [](const std::string& text) {
        std::string out;
        platform::host::Utf8ToAnsi(text, &out);
        return out;
    };
    info.read = true;
    info.target = ansi(Field(report, "Local path"));
    info.workingDirectory = ansi(Field(report, "Working directory"));
    info.arguments = ansi(Field(report, "Command line arguments"));
    info.description = ansi(Field(report, "Description"));
    info.iconPath = ansi(Field(report, "Icon location"));
    // lnkinfo 20181227 reports the header's file-size field as the show-window value, so the
    // show command is read from its own header field (offset 0x3C).
    std::memcpy(&info.showCommand, bytes.data() + 0x3C, 4);
    return info;
}

void RemoveKey(HKEY root, const std::string& path) {
    using namespace platform::host;
    std::vector<std::string> names;
    if (RegSplitPath(path.c_str(), &names) != ERROR_SUCCESS || names.empty()) return;
    int at = root == HKEY_LOCAL_MACHINE ? kLocalMachine : kCurrentUser;
    ChangeRegistry([&](const RegTree& tree, std::vector<RegChange>* changes) -> DWORD {
        if (RegFindKey(tree, at, names) == nullptr) return ERROR_SUCCESS;
        RegChange change;
        change.kind = RegChange::kDeleteKey;
        change.root = at;
        change.path = names;
        changes->push_back(change);
        return ERROR_SUCCESS;
    });
}

void PrepareDocumentsFolder() {
    std::string path;
    for (const char* part : {"C:\\Documents and Settings", "\\user", "\\My Documents"}) {
        path += part;
        platform::CreateDirectoryA(path.c_str(), nullptr);
    }
}
