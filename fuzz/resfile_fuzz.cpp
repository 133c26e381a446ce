// The .res reader on any bytes: refused with a message and no entries, or read into entries
// whose data lies inside the image.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/expect.h"
#include "formats/res_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace formats;
    std::vector<ResEntry> entries;
    std::string error;
    if (!ParseResFile(data, size, &entries, &error)) {
        Expect(entries.empty() && !error.empty(), "a refused image gives no entries and says why");
        return 0;
    }
    for (const ResEntry& entry : entries)
        Expect(entry.data >= data && entry.size <= size - static_cast<size_t>(entry.data - data),
               "an entry's data lies inside the image");
    return 0;
}
