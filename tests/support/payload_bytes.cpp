#include "support/payload_bytes.h"

#include <mspack.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>

#include "emulator/machine/host.h"
#include "platform/resources.h"
#include "support/temp_machine.h"

namespace vktest {

std::string StoredPayload(uint32_t payloadIndex) {
    HINSTANCE module = platform::host::ModuleHandle();
    HRSRC found = platform::FindResourceExA(module, RT_RCDATA, MAKEINTRESOURCEA(payloadIndex + 129), 0);
    if (found == nullptr) return "";
    const char* bytes = static_cast<const char*>(platform::LockResource(platform::LoadResource(module, found)));
    return std::string(bytes, platform::SizeofResource(module, found));
}

std::string ExpandedPayload(uint32_t payloadIndex) {
    static std::map<uint32_t, std::string> done;  // the module does not change
    auto known = done.find(payloadIndex);
    if (known != done.end()) return known->second;
    std::string stored = StoredPayload(payloadIndex);
    if (stored.compare(0, 8, "SZDD\x88\xF0\x27\x33") != 0) return stored;
    char in[] = "/tmp/vkpayload-XXXXXX";
    int fd = mkstemp(in);
    if (fd < 0) return "";
    close(fd);
    TempMachine::WriteHostFile(in, stored);
    std::string out = std::string(in) + ".out";
    msszdd_decompressor* expander = mspack_create_szdd_decompressor(nullptr);
    int result = expander->decompress(expander, in, out.c_str());
    mspack_destroy_szdd_decompressor(expander);
    std::string expanded = TempMachine::ReadHostFile(out);
    unlink(in);
    unlink(out.c_str());
    EXPECT_EQ(result, MSPACK_ERR_OK) << "payload " << payloadIndex;
    if (result == MSPACK_ERR_OK) done[payloadIndex] = expanded;
    return expanded;
}

}  // namespace vktest
