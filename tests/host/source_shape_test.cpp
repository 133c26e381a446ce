// The layers, read from their sources: the logic reaches the machine only through platform/*.h,
// a step never reaches back into the run that calls it, discovery stands before payload, and the
// boundary (platform/) knows nothing of the emulated machine (emulator/) that implements it, and
// the file formats (formats/) lie below the machine, which lies below the tools.
#include <gtest/gtest.h>

#include <cctype>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The updater's logic, written once for both builds.
const std::vector<std::string> kLogic = {"app", "process", "text", "discovery", "payload", "postinstall"};

// Every #include of the files of `folder` and its subfolders: where it stands (file:line) and
// the name included.
std::vector<std::pair<std::string, std::string>> Includes(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> found;
    const std::filesystem::path root = std::string(VK_SOURCE_DIR);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root / folder)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            size_t at = line.find_first_not_of(" \t");
            if (at == std::string::npos || line.compare(at, 8, "#include") != 0) continue;
            size_t open = line.find_first_of("\"<", at + 8);
            size_t close = open == std::string::npos ? open : line.find_first_of("\">", open + 1);
            if (close == std::string::npos) continue;
            found.push_back({entry.path().lexically_relative(root).string() + ":" + std::to_string(number),
                             line.substr(open + 1, close - open - 1)});
        }
    }
    return found;
}

TEST(SourceShape, LayersIncludeOnlyWhatLiesBelowThem) {
    const std::vector<std::string>& logic = kLogic;
    const std::vector<std::string> belowTheRun = {"process", "text", "discovery", "payload", "postinstall"};
    const std::vector<std::string> belowTheSteps = {"process", "text"};
    struct Rule {
        std::vector<std::string> folders;
        std::string forbidden;  // start of an included name
    } rules[] = {
        // The logic reaches the machine only through the platform headers.
        {logic, "emulator/"},
        {logic, "windows.h"},
        // The boundary names the calls; the machine that implements them lies behind it.
        {{"platform"}, "emulator/"},
        // The file formats serve the machine and the tools, not the product.
        {logic, "formats/"},
        {{"formats"}, "emulator/"},
        {{"formats"}, "tools/"},
        {{"formats"}, "platform"},
        // The tools use the machine; the machine uses no tool.
        {{"emulator"}, "tools/"},
        // The steps take the state they share from below them, and the run orders them.
        {belowTheRun, "app/"},
        // Discovery calls no installation step: the run hands it what it needs.
        {{"discovery"}, "payload/"},
        {{"discovery"}, "postinstall/"},
        // The process state, the texts and the file lengths lie below every step.
        {belowTheSteps, "discovery/"},
        {belowTheSteps, "payload/"},
        {belowTheSteps, "postinstall/"},
    };
    int includes = 0;
    for (const Rule& rule : rules) {
        for (const std::string& folder : rule.folders) {
            for (const auto& [where, name] : Includes(folder)) {
                ++includes;
                EXPECT_NE(name.rfind(rule.forbidden, 0), 0u) << where << " includes " << name;
            }
        }
    }
    EXPECT_GT(includes, 100) << "the includes were read";
    // Beside its own folders the logic includes the platform headers and the resource ids it
    // shares with the resource script, nothing else: what a step needs lies in a logic folder
    // below it, or is handed in.
    for (const std::string& folder : logic) {
        for (const auto& [where, name] : Includes(folder)) {
            if (name.find('/') == std::string::npos) continue;
            std::string top = name.substr(0, name.find('/'));
            bool allowed = top == "platform" || name == "resources/resource.h" || std::find(logic.begin(), logic.end(), top) != logic.end();
            EXPECT_TRUE(allowed) << where << " includes " << name;
        }
    }
}

// The code of the files of `folder` and its subfolders, or of one file, without its comments.
std::string CodeOf(const std::string& place) {
    std::string code;
    const std::filesystem::path root = std::string(VK_SOURCE_DIR);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(root / place)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root / place))
            if (entry.is_regular_file()) files.push_back(entry.path());
    } else {
        files.push_back(root / place);
    }
    for (const auto& file : files) {
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) code += line.substr(0, line.find("//")) + "\n";
    }
    return code;
}

// Whether `code` names `word` as a whole identifier.
bool Names(const std::string& code, const std::string& word) {
    auto identifier = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    for (size_t at = code.find(word); at != std::string::npos; at = code.find(word, at + 1)) {
        size_t end = at + word.size();
        if ((at == 0 || !identifier(code[at - 1])) && (end == code.size() || !identifier(code[end]))) return true;
    }
    return false;
}

// The call table marks each call PRODUCT when the updater makes it (its logic or the Windows
// process entry names it: a call, or a name looked up at run time) and TESTS when only tests
// and tools do.
TEST(SourceShape, CallTableSaysWhichCallsTheProductMakes) {
    struct Row {
        const char* name;  // a method by its own name
        bool product;
    } rows[] = {
#define PRODUCT true
#define TESTS false
#define PLATFORM_CALL(name, dll, user, fault, error) {#name, user},
#define PLATFORM_METHOD(interface, method, dll, user, fault, error) {#method, user},
#include "platform/platform_calls.def"
#undef PLATFORM_CALL
#undef PLATFORM_METHOD
#undef PRODUCT
#undef TESTS
    };
    std::string product = CodeOf("platform/win32/program_main.cpp");
    for (const std::string& folder : kLogic) product += CodeOf(folder);
    ASSERT_GT(product.size(), 10000u) << "the product's code was read";
    for (const Row& row : rows)
        EXPECT_EQ(Names(product, row.name), row.product)
            << row.name << " is marked " << (row.product ? "PRODUCT" : "TESTS") << " in platform_calls.def";
}

}  // namespace
