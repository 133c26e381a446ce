// VerInstallFileA on any staging file: the input is C:\src\vk001.tmp of a temporary machine,
// installed into C:\dst, which is emptied again after each run. The call installs a file in
// the SZDD format expanded to the length its header states, and exactly what the compressor's
// own decoder reads from it whenever that decoder takes it; any other file unchanged. When it
// fails, nothing is left in the destination folder.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/expect.h"
#include "platform/host/machine/host.h"
#include "platform/version.h"
#include "tools/szdd/szdd.h"

namespace {

class Machine {
public:
    Machine() {
        // In memory where there is such a file system: each run writes, renames and deletes.
        // Named by the process; the machines of processes that ended without removing theirs
        // (a crash, the fuzzer's merge runs) are removed here.
        std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(base, ignored)) {
            std::string name = entry.path().filename();
            int pid = name.rfind("vkfuzz-", 0) == 0 ? std::atoi(name.c_str() + 7) : 0;
            if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) std::filesystem::remove_all(entry.path(), ignored);
        }
        dir_ = base + "/vkfuzz-" + std::to_string(getpid());
        std::filesystem::remove_all(dir_, ignored);
        std::filesystem::create_directories(dir_ + "/drive_c/src");
        std::filesystem::create_directories(dir_ + "/drive_c/dst");
        std::ofstream(dir_ + "/machine.ini");
        std::string error;
        Expect(platform::host::WriteEmptyRegistry(dir_, &error) && platform::host::OpenMachine(dir_, &error),
               "the temporary machine opens");
    }
    ~Machine() {
        platform::host::CloseMachine();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string host(const std::string& path) const { return dir_ + "/drive_c/" + path; }

private:
    std::string dir_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Machine machine;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::ofstream(machine.host("src/vk001.tmp"), std::ios::binary) << input;

    char temp[260] = {};
    UINT tempLength = sizeof temp;
    DWORD result = platform::VerInstallFileA(VIFF_FORCEINSTALL, "vk001.tmp", "vk001.tmp", "C:\\src\\",
                                             "C:\\dst\\", nullptr, temp, &tempLength);

    bool szdd = szdd::HasMagic(input);
    uint32_t stated = 0;
    bool header = szdd::StatedLength(input, &stated);
    // Eight literals take nine bytes, eight 18-byte matches seventeen: no stream expands to
    // more than 9 times its size, so a larger stated length is not worth the decoder's buffer.
    bool decodable = szdd && header && stated <= 9 * static_cast<uint64_t>(size);
    std::string expanded, why;
    bool decoded = decodable && szdd::Expand(input, &expanded, &why);
    if (result == 0) {
        std::ifstream in(machine.host("dst/vk001.tmp"), std::ios::binary);
        std::string installed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Expect(in.is_open(), "a successful call installs the file");
        if (!szdd) Expect(installed == input, "a file not in the SZDD format is installed unchanged");
        if (szdd) Expect(header && installed.size() == stated, "the expanded file has the length its header states");
        if (decoded) Expect(installed == expanded, "the expanded file is what the compressor's decoder reads");
    } else {
        Expect(!decoded, "a file that the compressor's decoder takes installs");
        Expect(std::filesystem::is_empty(machine.host("dst")), "a failed call leaves nothing in the destination");
    }
    std::error_code ignored;
    std::filesystem::remove(machine.host("dst/vk001.tmp"), ignored);
    return 0;
}
