// VerInstallFileA on any staging file: the input is C:\src\vk001.tmp of a temporary machine,
// installed into C:\dst, which is emptied again after each run. As Windows' expander, the call
// installs every source: one without a whole SZDD header unchanged, a stream of another mode
// as an empty file, and a stream of mode A as far as it goes; whenever libmspack, independent
// of the host's decoder, expands the stream to the length its header states, the installed
// file is exactly what libmspack made.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <mspack.h>

#include "fuzz/expect.h"
#include "emulator/machine/host.h"
#include "platform/version.h"
#include "formats/szdd.h"

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

// Expands `source` with libmspack into `out`; true, with the bytes, when it made `stated` bytes.
bool MspackExpands(const std::string& source, const std::string& out, uint32_t stated, std::string* bytes) {
    msszdd_decompressor* expander = mspack_create_szdd_decompressor(nullptr);
    bool ok = expander != nullptr && expander->decompress(expander, source.c_str(), out.c_str()) == MSPACK_ERR_OK;
    if (expander != nullptr) mspack_destroy_szdd_decompressor(expander);
    std::ifstream in(out, std::ios::binary);
    bytes->assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::error_code ignored;
    std::filesystem::remove(out, ignored);
    return ok && bytes->size() == stated;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Machine machine;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::ofstream(machine.host("src/vk001.tmp"), std::ios::binary) << input;

    char temp[260] = {};
    UINT tempLength = sizeof temp;
    DWORD result = platform::VerInstallFileA(VIFF_FORCEINSTALL, "vk001.tmp", "vk001.tmp", "C:\\src\\",
                                             "C:\\dst\\", nullptr, temp, &tempLength);

    Expect(result == 0, "every source installs");
    std::ifstream in(machine.host("dst/vk001.tmp"), std::ios::binary);
    std::string installed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Expect(in.is_open(), "the file is installed");
    uint32_t stated = 0;
    bool header = szdd::HasMagic(input) && szdd::StatedLength(input, &stated);
    if (!header) {
        Expect(installed == input, "a file without a whole SZDD header is installed unchanged");
    } else if (input[8] != 'A') {
        Expect(installed.empty(), "a stream of another mode expands to nothing");
    } else if (stated <= 9 * static_cast<uint64_t>(size)) {
        // No stream expands to more than 9 times its size: a larger stated length cannot be met.
        std::string expanded;
        if (MspackExpands(machine.host("src/vk001.tmp"), machine.host("mspack.out"), stated, &expanded))
            Expect(installed == expanded, "a whole stream expands as libmspack expands it");
    }
    std::error_code ignored;
    std::filesystem::remove(machine.host("dst/vk001.tmp"), ignored);
    return 0;
}
