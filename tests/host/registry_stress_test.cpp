// Several processes changing one machine's registry at once, and one loading it over and over:
// every load succeeds, every value read is one a writer wrote, and no change is lost.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "emulator/machine/host.h"
#include "emulator/registry/registry_store.h"
#include "platform/registry.h"
#include "support/temp_machine.h"

namespace host = platform::host;

namespace {

const int kWriters = 4;
const auto kRunTime = std::chrono::milliseconds(1500);

// The text writer `w` stores as its `n`-th value; long enough that a cut-off file shows.
std::string ValueText(int w, int n) { return "writer " + std::to_string(w) + " round " + std::to_string(n) + std::string(40, '.'); }

// In a child: writes its own value and a shared one until the time is up; exits 0 when every
// call succeeded and reports its last round through the exit status otherwise.
int Writer(const std::string& dir, int w) {
    std::string error;
    if (!host::OpenMachine(dir, &error)) return 10;
    auto end = std::chrono::steady_clock::now() + kRunTime;
    int n = 0;
    for (; std::chrono::steady_clock::now() < end; ++n) {
        HKEY key = nullptr;
        std::string sub = "Software\\Stress\\W" + std::to_string(w);
        if (platform::RegCreateKeyExA(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                      nullptr) != ERROR_SUCCESS)
            return 11;
        std::string text = ValueText(w, n);
        LONG r = platform::RegSetValueExA(key, "Last", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                          static_cast<DWORD>(text.size() + 1));
        r |= platform::RegSetValueExA(HKEY_CURRENT_USER, "Shared", 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
        platform::RegCloseKey(key);
        if (r != ERROR_SUCCESS) return 12;
    }
    // The final round, which must survive every other writer.
    HKEY key = nullptr;
    std::string sub = "Software\\Stress\\W" + std::to_string(w);
    std::string done = "done";
    if (platform::RegCreateKeyExA(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr) != ERROR_SUCCESS ||
        platform::RegSetValueExA(key, "Last", 0, REG_SZ, reinterpret_cast<const BYTE*>(done.c_str()), 5) !=
            ERROR_SUCCESS)
        return 13;
    host::CloseMachine();
    return 0;
}

// True when `data` is a value some writer wrote (with its NUL).
bool Written(const std::string& data) {
    if (data == std::string("done", 5)) return true;
    int w = -1, n = -1;
    if (std::sscanf(data.c_str(), "writer %d round %d", &w, &n) != 2) return false;
    return w >= 0 && w < kWriters && n >= 0 && data == ValueText(w, n) + '\0';
}

// In a child: loads the machine again and again and checks what it reads.
int Reader(const std::string& dir) {
    auto end = std::chrono::steady_clock::now() + kRunTime;
    int loads = 0;
    while (std::chrono::steady_clock::now() < end) {
        std::string error;
        if (!host::OpenMachine(dir, &error)) {
            std::fprintf(stderr, "load failed: %s\n", error.c_str());
            return 20;
        }
        ++loads;
        DWORD type = 0;
        std::string data;
        if (host::RegReadSystemValue(host::kCurrentUser, "", "Shared", &type, &data) == ERROR_SUCCESS &&
            !Written(data)) {
            std::fprintf(stderr, "value no writer wrote: %s\n", data.c_str());
            return 21;
        }
        host::CloseMachine();
    }
    return loads > 0 ? 0 : 22;
}

TEST(RegistryStress, ConcurrentWritersAndAReaderNeverSeeABrokenRegistry) {
    vktest::TempMachine machine;
    const std::string dir = machine.dir();
    host::CloseMachine();
    std::vector<pid_t> children;
    for (int w = 0; w <= kWriters; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) _exit(w < kWriters ? Writer(dir, w) : Reader(dir));
        children.push_back(pid);
    }
    for (size_t i = 0; i < children.size(); ++i) {
        int status = 0;
        ASSERT_EQ(waitpid(children[i], &status, 0), children[i]);
        EXPECT_TRUE(WIFEXITED(status)) << "child " << i;
        EXPECT_EQ(WEXITSTATUS(status), 0) << (i < kWriters ? "writer " : "reader ") << i;
    }
    // No writer's last change was lost to another's save.
    machine.Reopen();
    for (int w = 0; w < kWriters; ++w) {
        DWORD type = 0;
        std::string data;
        ASSERT_EQ(host::RegReadSystemValue(host::kCurrentUser, "Software\\Stress\\W" + std::to_string(w), "Last",
                                           &type, &data),
                  ERROR_SUCCESS);
        EXPECT_EQ(data, std::string("done", 5)) << w;
    }
}

}  // namespace
