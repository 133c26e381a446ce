// Names of the emulated machine's files on the host file system. A Windows name holds up to 255
// UTF-16 characters, which in UTF-8 can take 765 bytes, while Linux allows 255 bytes a name.
// A name whose UTF-8 form does not fit is kept under a stand-in: its first characters, ':' (which
// no Windows name holds) and a hash of the whole name, and longnames.txt in the machine folder
// gives the name of each stand-in back.
#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>

#include "emulator/files/file_system.h"
#include "emulator/machine/machine_state.h"

namespace platform::host {
namespace {

const size_t kHostNameBytes = 255;
const size_t kStandInPrefixBytes = 200;

std::string TableFile() { return MachineDir() + "/longnames.txt"; }

// 64-bit FNV-1a of the name's UTF-8 bytes, as 16 hex digits.
std::string HashText(const std::string& utf8) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : utf8) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// The stand-ins recorded so far: hash -> UTF-8 name.
std::map<std::string, std::string> LoadTable() {
    std::map<std::string, std::string> table;
    for (const auto& [hash, name] : ReadTabbedLines(TableFile()))
        if (hash.size() == 16) table[hash] = name;
    return table;
}

// The first whole characters of a UTF-8 text, at most `bytes` bytes of it.
std::string Utf8Prefix(const std::string& utf8, size_t bytes) {
    if (utf8.size() <= bytes) return utf8;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
    return utf8.substr(0, end);
}

}  // namespace

DWORD HostEntryName(const std::string& ansi, std::string* entry) {
    std::string utf8;
    if (!AnsiToUtf8(ansi, &utf8)) return ERROR_INVALID_NAME;
    if (utf8.size() <= kHostNameBytes) {
        *entry = utf8;
        return ERROR_SUCCESS;
    }
    std::string hash = HashText(utf8);
    MachineLock lock;
    std::map<std::string, std::string> table = LoadTable();
    auto it = table.find(hash);
    // Two names with one hash cannot both be kept: refuse the second rather than mix them up.
    if (it != table.end() && it->second != utf8) return ERROR_FILENAME_EXCED_RANGE;
    if (it == table.end()) {
        table[hash] = utf8;
        std::ostringstream text;
        text << "# Windows names too long for the host, by the hash in their stand-in's name\n";
        for (const auto& [h, name] : table) text << h << '\t' << name << '\n';
        DWORD error = WriteSideFile(TableFile(), text.str());
        if (error != ERROR_SUCCESS) return error;
    }
    *entry = Utf8Prefix(utf8, kStandInPrefixBytes) + ":" + hash;
    return ERROR_SUCCESS;
}

bool WindowsEntryName(const std::string& entry, std::string* ansi) {
    size_t colon = entry.rfind(':');
    if (colon == std::string::npos) return Utf8ToAnsi(entry, ansi);
    if (entry.size() - colon != 17) return false;
    std::map<std::string, std::string> table;
    {
        MachineLock lock;
        table = LoadTable();
    }
    auto it = table.find(entry.substr(colon + 1));
    if (it == table.end() || Utf8Prefix(it->second, kStandInPrefixBytes) != entry.substr(0, colon))
        return false;
    return Utf8ToAnsi(it->second, ansi);
}

}  // namespace platform::host
