// The registry file codec: registry.reg text (regedit's "Windows Registry Editor Version 5.00"
// format, UTF-8) to the registry tree and back, keeping every value's type and bytes exactly;
// and the journal beside it, whose records are changes written in the same lines.
#pragma once

#include <string>
#include <vector>

#include "emulator/registry/registry_store.h"

namespace platform::host {

// Parses the whole text of a registry file (UTF-8, or UTF-16LE with a byte-order mark as
// regedit writes it) into `tree`, which must hold the empty roots, and which keeps the text for
// the values it makes only when they are asked for. On failure `error` is "FILE:LINE: what is
// wrong" and `tree` must be discarded. `stamp`, when given, gets the name
// of the journal the file goes with ("; journal NAME" below the first line), "" for none.
bool ParseRegFile(std::string text, const std::string& file, RegTree* tree, std::string* error,
                  std::string* stamp = nullptr);
// Reads the value lines a key kept from its file (RegKey::unread), checked when it was read,
// into `values`.
void ReadRegValueLines(std::string_view lines, int firstLine, std::vector<RegValue>* values);

// Writes `tree` as registry file text, naming the journal `stamp` when it is not empty. Fails
// only for a name RegNameStorable refuses.
bool FormatRegFile(const RegTree& tree, std::string* text, std::string* error, const std::string& stamp = "");

// True when a key or value name (machine code page) can be written to the file and read back
// unchanged: no line break, and it converts to UTF-8 and back to the same bytes.
bool RegNameStorable(const std::string& name);

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
