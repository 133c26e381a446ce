// The registry file codec on any text: it is refused with a message, or it reads into a tree
// that the writer can write, and what the writer makes reads back to the same tree (hence to
// the same text once more).
#include <cstdint>
#include <string>

#include "fuzz/expect.h"
#include "emulator/registry/regfile.h"

namespace {

using namespace platform::host;

bool Read(const std::string& text, std::string* written) {
    RegTree tree;
    for (int root = 0; root < kRootCount; ++root) tree.roots[root].name = RegRootName(root);
    std::string error;
    if (!ParseRegFile(text, "registry.reg", &tree, &error)) {
        Expect(!error.empty(), "a refused file says why");
        return false;
    }
    Expect(FormatRegFile(tree, written, &error), "every tree read can be written");
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string first, second;
    if (!Read(std::string(reinterpret_cast<const char*>(data), size), &first)) return 0;
    Expect(Read(first, &second), "the writer's file reads back");
    Expect(second == first, "the writer's file reads back to the same tree");
    return 0;
}
