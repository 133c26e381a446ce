// Stand-ins for the release files: content of a file's kind and exact expanded length, made
// together with the token stream that encodes it to an exact stored length.
#pragma once

#include <cstdint>
#include <string>

namespace mkpayloads {

// Makes the stand-in for the file named `targetPath` (its kind follows from its extension):
// `expanded` bytes in *content and their SZDD form of exactly `stored` bytes in *szddFile.
// `seed` varies the content from file to file. False, saying why, when it cannot be done.
bool MakeStandIn(const std::string& targetPath, uint32_t seed, uint32_t expanded, uint32_t stored,
                 std::string* content, std::string* szddFile, std::string* error);

}  // namespace mkpayloads
