// The registry journal: the changes saved since the registry file was written, one record per
// save, in the lines of the file itself.
#include "emulator/registry/reg_journal.h"

#include <algorithm>
#include <cstdio>

#include "emulator/machine/host.h"
#include "emulator/registry/regfile.h"

namespace platform::host {
namespace {

using View = std::string_view;

const char kCommitLine[] = "; commit ";

// CRC-32 (the one of zlib and PNG) of `size` bytes.
uint32_t Crc32(const char* data, size_t size) {
    static const auto* table = [] {
        auto* t = new uint32_t[256];
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

// "HKEY_...\name\name" in UTF-8 (a name RegNameStorable takes converts exactly).
bool KeyPathText(int root, const std::vector<std::string>& path, std::string* text, std::string* error) {
    *text = RegRootName(root);
    for (const std::string& name : path) {
        std::string utf8;
        if (!RegNameStorable(name) || !AnsiToUtf8(name, &utf8)) {
            *error = "a key name below " + *text + " cannot be written to the registry file";
            return false;
        }
        *text += "\\" + utf8;
    }
    return true;
}

}  // namespace

std::string RegJournalHeader(const std::string& stamp) {
    return std::string(kRegFileHeader) + "\n" + kRegJournalLine + stamp + "\n\n";
}

bool FormatRegJournalRecord(const std::vector<RegChange>& changes, std::string* text, std::string* error) {
    std::string out, context;  // `context`: the key of the last key line
    for (const RegChange& change : changes) {
        std::string path;
        if (!KeyPathText(change.root, change.path, &path, error)) return false;
        if (change.kind == RegChange::kDeleteKey) {
            if (change.path.empty()) {
                *error = "a root key cannot be removed";
                return false;
            }
            out += "[-" + path + "]\n";
            context.clear();
            continue;
        }
        if (change.kind == RegChange::kCreateKey || path != context) out += "[" + path + "]\n";
        context = path;
        if (change.kind == RegChange::kSetValue && !FormatRegValue(change.value, &out, error)) return false;
        if (change.kind == RegChange::kDeleteValue) {
            std::string head;
            if (!FormatRegValueHead(change.value, &head, error)) return false;
            out += head + "-\n";
        }
    }
    *text = out + RegJournalCommitLine(out);
    return true;
}

std::string RegJournalCommitLine(const std::string& lines) {
    char commit[24];
    std::snprintf(commit, sizeof commit, "%s%08lx\n", kCommitLine,
                  static_cast<unsigned long>(Crc32(lines.data(), lines.size())));
    return commit;
}

namespace {

// True when `text` holds a whole commit line: a record, whole by its own framing, follows.
bool HoldsCommitLine(View text) {
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == View::npos) return false;
        if (text.substr(pos, sizeof kCommitLine - 1) == kCommitLine) return true;
        pos = end + 1;
    }
    return false;
}

// Checks the text after the last whole record, from line `line`: a record a kill cut off is
// lines the writer writes, the last of them possibly cut inside, and nothing else. A line no
// record holds (a comment, text that does not read, more than a commit line's beginning) is
// damage.
bool CheckCutOffTail(View tail, int line, const std::string& file, std::string* error) {
    size_t whole = tail.rfind('\n');
    whole = whole == View::npos ? 0 : whole + 1;
    int number = line;
    for (size_t pos = 0; pos <= whole; ++number) {
        size_t end = pos < whole ? tail.find('\n', pos) : tail.size();
        View text = TrimRegLineLeft(tail.substr(pos, end - pos));
        size_t prefix = std::min(text.size(), sizeof kCommitLine - 1);
        View digits = text.substr(prefix);
        // The writer writes no comment in a record: the only one is its commit line, which can
        // be only the last line, cut inside its eight hex digits.
        if (text.substr(0, 1) == ";" &&
            (pos < whole || text.substr(0, prefix) != View(kCommitLine).substr(0, prefix) || digits.size() > 8 ||
             digits.find_first_not_of("0123456789abcdef") != View::npos)) {
            *error = file + ":" + std::to_string(number) + ": the journal is damaged: a line no record holds";
            return false;
        }
        pos = end + 1;
    }
    // A value whose continued lines were cut off is read up to the line it began on.
    View lines = tail.substr(0, whole);
    while (lines.size() > 1) {
        size_t begin = lines.rfind('\n', lines.size() - 2);
        begin = begin == View::npos ? 0 : begin + 1;
        View text = TrimRegLineRight(lines.substr(begin, lines.size() - 1 - begin));
        if (text.empty() || text.back() != '\\') break;
        lines = lines.substr(0, begin);
    }
    std::vector<RegChange> changes;
    if (ParseRegChangeLines(lines, line, file, &changes, error)) return true;
    *error += " (the journal is damaged)";
    return false;
}

}  // namespace

bool ParseRegJournal(const std::string& text, bool header, int firstLine, const std::string& file,
                     RegJournalRead* read, std::string* error) {
    *read = RegJournalRead();
    View all = text;
    size_t pos = 0;
    int line = firstLine;
    if (header) {
        // A header not yet whole (the journal was being made) holds no record; one before whole
        // records was damaged.
        std::string first = std::string(kRegFileHeader) + "\n" + kRegJournalLine;
        size_t stampEnd = all.find('\n', first.size());
        if (all.compare(0, first.size(), first) != 0 || stampEnd == View::npos || stampEnd + 1 >= all.size() ||
            all[stampEnd + 1] != '\n') {
            if (!HoldsCommitLine(all)) return true;
            int bad = all.compare(0, sizeof kRegFileHeader, std::string(kRegFileHeader) + "\n") != 0 ? 1
                      : stampEnd == View::npos || all.compare(sizeof kRegFileHeader, sizeof kRegJournalLine - 1, kRegJournalLine) != 0
                          ? 2
                          : 3;
            *error = file + ":" + std::to_string(firstLine + bad - 1) +
                     ": the journal is damaged: its header is not whole, and records follow";
            return false;
        }
        read->stamp = std::string(all.substr(first.size(), stampEnd - first.size()));
        pos = stampEnd + 2;
        line = firstLine + 3;
    }
    read->end = pos;
    read->lines = line - 1;
    size_t start = pos;
    int startLine = line;
    while (pos < all.size()) {
        size_t end = all.find('\n', pos);
        if (end == View::npos) break;  // cut off
        View text = all.substr(pos, end - pos);
        if (text.substr(0, sizeof kCommitLine - 1) != kCommitLine) {
            pos = end + 1;
            ++line;
            continue;
        }
        // Whole by its framing: a record that fails its check was damaged after it was written.
        unsigned long crc = 0;
        if (!ParseRegHexNumber(text.substr(sizeof kCommitLine - 1), 8, &crc) ||
            crc != Crc32(all.data() + start, pos - start)) {
            *error = file + ":" + std::to_string(line) + ": the journal is damaged: the record of lines " +
                     std::to_string(startLine) + " to " + std::to_string(line) + " fails its check";
            return false;
        }
        std::vector<RegChange> changes;
        if (!ParseRegChangeLines(all.substr(start, pos - start), startLine, file, &changes, error)) return false;
        read->records.push_back(std::move(changes));
        pos = end + 1;
        ++line;
        start = pos;
        startLine = line;
        read->end = pos;
        read->lines = line - 1;
    }
    return CheckCutOffTail(all.substr(start), startLine, file, error);
}

}  // namespace platform::host
