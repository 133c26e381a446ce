// The registry file codec: registry.reg text (regedit's "Windows Registry Editor Version 5.00"
// format, UTF-8) to the registry tree and back, keeping every value's type and bytes exactly.
// The journal beside it (reg_journal.h) writes its changes in the same lines.
#pragma once

#include <string>
#include <string_view>
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

// The first line of every registry file, and the start of the second in one written with a
// journal ("; journal NAME").
inline constexpr char kRegFileHeader[] = "Windows Registry Editor Version 5.00";
inline constexpr char kRegJournalLine[] = "; journal ";

// The pieces the journal (reg_journal.h) writes and reads its records with, which are lines of
// this format: a value's line(s), a value's name part ("name"= or @=), the lines of a record read
// into changes (failing with "FILE:LINE: what is wrong"), a number of exactly `digits` hex
// digits, and a line without its spaces on the left or the right.
bool FormatRegValue(const RegValue& value, std::string* out, std::string* error);
bool FormatRegValueHead(const RegValue& value, std::string* head, std::string* error);
bool ParseRegChangeLines(std::string_view lines, int firstLine, const std::string& file,
                         std::vector<RegChange>* changes, std::string* error);
bool ParseRegHexNumber(std::string_view text, size_t digits, unsigned long* value);
std::string_view TrimRegLineLeft(std::string_view line);
std::string_view TrimRegLineRight(std::string_view line);

}  // namespace platform::host
