// The MS COMPRESS "SZDD" format, mode "A": a 14-byte header and an LZSS stream over a 4,096-byte
// window that starts filled with spaces, written from position 4,096 - 16. Each group of eight
// tokens follows a flag byte (bit set: a literal byte; bit clear: a two-byte match of 3 to 18
// bytes naming its window position).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace szdd {

const size_t kHeaderSize = 14;

// One token of the stream: a literal (length 1, distance 0) or a copy of `length` bytes from
// `distance` bytes back (the window's leading spaces count as bytes before the data).
struct Token {
    uint32_t length;
    uint32_t distance;
};

// The cheapest token stream for `data`: every position's cheapest way to the end, a literal
// costing 9 bits and a match 17, over the longest match found at each position.
std::vector<Token> Parse(const std::string& data);

// Bits the tokens take in the stream, flag bits included.
uint64_t CostBits(const std::vector<Token>& tokens);
// Size of the whole file that Encode makes of tokens of `bits` bits.
inline uint64_t StoredSize(uint64_t bits) { return kHeaderSize + (bits + 7) / 8; }

// Turns some matches of `tokens` (a parse of `data`) into literals, or splits them, so that the
// encoded file is exactly `storedSize` bytes. False, tokens unchanged, when no such change of
// them reaches that size.
bool ShapeToSize(std::vector<Token>* tokens, uint64_t storedSize);

// The SZDD file: header, then the tokens' stream. The tokens must cover `data` exactly.
std::string Encode(const std::string& data, const std::vector<Token>& tokens);

// Parse and Encode.
inline std::string Compress(const std::string& data) { return Encode(data, Parse(data)); }

// Whether `file` begins with the SZDD magic (of any mode).
bool HasMagic(const std::string& file);
// The expanded length an SZDD header states; false when `file` is shorter than a header.
bool StatedLength(const std::string& file, uint32_t* length);

// Expands an SZDD file of mode A as far as its stream goes, whatever length its header states,
// as Windows' expander does (a match cut off at the end ends it; another mode expands to
// nothing). False when `file` holds no whole SZDD header, which Windows copies unchanged.
bool Decode(const std::string& file, std::string* data);
// Expands an SZDD file; false, saying why, when it is not one or does not expand to the length
// its header states.
bool Expand(const std::string& file, std::string* data, std::string* error);

}  // namespace szdd
