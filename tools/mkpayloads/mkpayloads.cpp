// mkpayloads: makes the payload resources of the updater at build time.
//
//   mkpayloads <output folder> [<release folder>]
//
// For every payload index 1 to 41 it writes into the output folder:
//   payload_<id>.szdd     the SZDD file that becomes RCDATA <id> (id = payload index + PAYLOAD_RESOURCE_BASE)
//   expanded/<temp name>  the bytes that file expands to
//   payloads.rc           the RCDATA statements, in Japanese (1041)
// With a release folder, its files (named by the rows' temp names, exactly the 41 of them)
// are compressed. Without one, stand-ins of each file's expanded length are made whose SZDD
// form has exactly the file's stored length (payload_lengths.h). The same input gives the
// same bytes. Every file is expanded again and compared before it is written.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "payload/payload_table.h"
#include "tools/mkpayloads/payload_lengths.h"
#include "tools/mkpayloads/standins.h"
#include "formats/szdd.h"

namespace {

bool ReadFile(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *bytes = s.str();
    return true;
}

// Writes the file unless it already holds these bytes, so that an unchanged payload does not
// make the resources compile again.
bool WriteFile(const std::string& path, const std::string& bytes) {
    std::string old;
    if (ReadFile(path, &old) && old == bytes) return true;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

const PayloadEntry* RowOf(uint32_t payloadIndex) {
    for (const PayloadEntry& e : PayloadTable)
        if (e.payloadIndex == payloadIndex) return &e;
    return nullptr;
}

// The release folder must hold exactly one file for each temp name.
bool CheckReleaseFolder(const std::string& folder, std::string* error) {
    std::set<std::string> expected;
    for (const PayloadEntry& e : PayloadTable) expected.insert(e.tempName);
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        *error = "release folder " + folder + " cannot be read";
        return false;
    }
    std::set<std::string> found;
    while (dirent* d = readdir(dir)) {
        std::string name = d->d_name;
        if (name != "." && name != "..") found.insert(name);
    }
    closedir(dir);
    std::string problems;
    for (const std::string& name : expected)
        if (!found.count(name)) problems += "\n  missing: " + name;
    for (const std::string& name : found)
        if (!expected.count(name)) problems += "\n  not a payload: " + name;
    if (!problems.empty()) *error = "release folder " + folder + " does not match the payload table:" + problems;
    return problems.empty();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: mkpayloads <output folder> [<release folder>]\n");
        return 2;
    }
    const std::string out = argv[1];
    const std::string release = argc == 3 ? argv[2] : "";
    std::string error;
    if (!release.empty() && !CheckReleaseFolder(release, &error)) {
        std::fprintf(stderr, "mkpayloads: %s\n", error.c_str());
        return 1;
    }
    mkdir(out.c_str(), 0777);
    mkdir((out + "/expanded").c_str(), 0777);

    std::string rc = "// Made by mkpayloads: the payload files, SZDD, one RCDATA each.\n\nLANGUAGE 0x11, 0x01\n\n";
    for (const PayloadLength& length : PayloadLengths) {
        const PayloadEntry* row = RowOf(length.payloadIndex);
        if (row == nullptr) {
            std::fprintf(stderr, "mkpayloads: payload %u has no row in the payload table\n", length.payloadIndex);
            return 1;
        }
        std::string content, file;
        if (!release.empty()) {
            if (!ReadFile(release + "/" + row->tempName, &content)) {
                std::fprintf(stderr, "mkpayloads: cannot read %s/%s\n", release.c_str(), row->tempName);
                return 1;
            }
            file = szdd::Compress(content);
        } else if (!mkpayloads::MakeStandIn(row->targetPath, length.payloadIndex, length.expanded, length.stored,
                                            &content, &file, &error)) {
            std::fprintf(stderr, "mkpayloads: %s: %s\n", row->tempName, error.c_str());
            return 1;
        }
        std::string back;
        if (!szdd::Expand(file, &back, &error) || back != content) {
            std::fprintf(stderr, "mkpayloads: %s does not expand to its content: %s\n", row->tempName,
                         error.c_str());
            return 1;
        }
        const unsigned id = length.payloadIndex + PAYLOAD_RESOURCE_BASE;
        const std::string name = "payload_" + std::to_string(id) + ".szdd";
        if (!WriteFile(out + "/" + name, file) || !WriteFile(out + "/expanded/" + row->tempName, content)) {
            std::fprintf(stderr, "mkpayloads: cannot write into %s\n", out.c_str());
            return 1;
        }
        rc += std::to_string(id) + " RCDATA \"" + name + "\"\n";
    }
    if (!WriteFile(out + "/payloads.rc", rc)) {
        std::fprintf(stderr, "mkpayloads: cannot write %s/payloads.rc\n", out.c_str());
        return 1;
    }
    return 0;
}
