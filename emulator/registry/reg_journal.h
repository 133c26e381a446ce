// The registry journal: the changes saved since the registry file was written.
#pragma once

#include <string>
#include <vector>

#include "emulator/registry/registry_store.h"

namespace platform::host {

// The journal: the first line of a registry file, "; journal NAME" (the stamp of the registry
// file it belongs to) and a blank line, then one record per save. A record is the lines of its
// changes as a .reg file writes them ("[key]" makes a key and is the key of the values below
// it, "[-key]" deletes one, "name"=- deletes a value), then "; commit XXXXXXXX", the CRC-32 of
// the record's lines. A record cut off (a process killed while writing it) ends the journal;
// a damaged one does not end it quietly, since records after it would be lost with it.

// The start of a journal of the registry file stamped `stamp`.
std::string RegJournalHeader(const std::string& stamp);
// The line that commits a record of the lines `lines`.
std::string RegJournalCommitLine(const std::string& lines);
// One record of `changes`, commit line included. Fails only for a name RegNameStorable refuses.
bool FormatRegJournalRecord(const std::vector<RegChange>& changes, std::string* text, std::string* error);

struct RegJournalRead {
    std::string stamp;                              // from the header ("" when it is not whole)
    std::vector<std::vector<RegChange>> records;    // the whole records, in order
    size_t end = 0;                                 // just after the last of them
    int lines = 0;                                  // lines before `end`
};
// Reads the records of journal text `text`, which starts with the header when `header` is
// set and else at a record, on line `firstLine`. What follows the last whole record must be a
// record cut off: lines a record holds, the last possibly cut inside. Damage fails with
// "FILE:LINE: what is wrong": a record whole by its commit line that fails its check or does
// not read, a line no record holds after the last one, a header not whole before records. A
// header not yet whole and nothing after it gives no stamp and no record.
bool ParseRegJournal(const std::string& text, bool header, int firstLine, const std::string& file,
                     RegJournalRead* read, std::string* error);

}  // namespace platform::host
