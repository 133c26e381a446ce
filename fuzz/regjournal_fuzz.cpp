// The registry journal reader on any text: damage is refused with a message (a whole record
// that does not read or fails its check, anything but a record cut off after the last one);
// otherwise what follows the last whole record holds no whole record, any byte of the whole
// records changed is refused, and what it read is what the writer writes: the text up to the end of the last whole record reads to the same
// records, each record written again reads back to the same changes, and the registry the
// changes make can be written and read back. The input is read as it is, and once more with
// its NUL-separated parts made into records with their commit lines, so that the fuzzer
// reaches the record reader without finding checksums.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/expect.h"
#include "emulator/registry/reg_journal.h"
#include "emulator/registry/regfile.h"

namespace {

using namespace platform::host;

const char kFile[] = "registry.journal";
const char kStamp[] = "0123456789abcdef";

bool SameChanges(const std::vector<std::vector<RegChange>>& a, const std::vector<std::vector<RegChange>>& b) {
    if (a.size() != b.size()) return false;
    for (size_t r = 0; r < a.size(); ++r) {
        if (a[r].size() != b[r].size()) return false;
        for (size_t i = 0; i < a[r].size(); ++i) {
            const RegChange &x = a[r][i], &y = b[r][i];
            if (x.kind != y.kind || x.root != y.root || x.path != y.path || x.value.name != y.value.name ||
                x.value.type != y.value.type || x.value.data != y.value.data)
                return false;
        }
    }
    return true;
}

RegTree EmptyTree() {
    RegTree tree;
    for (int root = 0; root < kRootCount; ++root) tree.roots[root].name = RegRootName(root);
    return tree;
}

void Check(const std::string& text) {
    RegJournalRead read;
    std::string error;
    if (!ParseRegJournal(text, true, 1, kFile, &read, &error)) {
        Expect(!error.empty(), "a refused journal says why");
        return;
    }
    Expect(read.end <= text.size(), "the records end inside the text");
    Expect(read.stamp.empty() ? read.records.empty() : true, "no record without a whole header");
    for (size_t pos = read.end, end; (end = text.find('\n', pos)) != std::string::npos; pos = end + 1)
        Expect(text.compare(pos, 9, "; commit ") != 0, "no whole record after the last one read");
    if (!read.records.empty()) {
        // One byte of the records changed (a disk error): refused, never read as fewer records.
        size_t first = RegJournalHeader(read.stamp).size();
        std::string damaged = text;
        damaged[first + text.size() * 7919 % (read.end - first)] ^= 0x01;
        RegJournalRead ignored;
        Expect(!ParseRegJournal(damaged, true, 1, kFile, &ignored, &error) && !error.empty(),
               "a changed byte of a whole record is refused");
    }

    RegJournalRead cut;
    Expect(ParseRegJournal(text.substr(0, read.end), true, 1, kFile, &cut, &error), "the whole records read alone");
    Expect(cut.end == read.end && cut.stamp == read.stamp && SameChanges(cut.records, read.records),
           "what follows the last whole record changes nothing of it");

    std::string again = RegJournalHeader(read.stamp.empty() ? kStamp : read.stamp);
    for (const std::vector<RegChange>& record : read.records) {
        std::string written;
        Expect(FormatRegJournalRecord(record, &written, &error), "every record read can be written");
        again += written;
    }
    RegJournalRead back;
    Expect(ParseRegJournal(again, true, 1, kFile, &back, &error), "the writer's journal reads");
    Expect(back.end == again.size() && SameChanges(back.records, read.records),
           "the writer's records read back to the same changes");

    RegTree tree = EmptyTree();
    for (const std::vector<RegChange>& record : read.records)
        for (const RegChange& change : record) ApplyRegChange(&tree, change);
    std::string file, file2;
    Expect(FormatRegFile(tree, &file, &error, kStamp), "the registry the journal makes can be written");
    RegTree reread = EmptyTree();
    std::string stamp;
    Expect(ParseRegFile(file, "registry.reg", &reread, &error, &stamp) && stamp == kStamp,
           "and read back, with its stamp");
    Expect(FormatRegFile(reread, &file2, &error, kStamp) && file2 == file, "to the same registry");
}

// The parts of `input` between NUL bytes as the records of a journal.
std::string Framed(const std::string& input) {
    std::string text = RegJournalHeader(kStamp);
    size_t start = 0;
    for (;;) {
        size_t nul = input.find('\0', start);
        std::string part = input.substr(start, nul == std::string::npos ? std::string::npos : nul - start);
        if (!part.empty() && part.back() != '\n') part += '\n';
        text += part + RegJournalCommitLine(part);
        if (nul == std::string::npos) return text;
        start = nul + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    Check(input);
    Check(Framed(input));
    return 0;
}
