// The sandbox that every contract test works in, on either platform: an empty folder and an
// empty registry key under HKEY_CURRENT_USER that belong to this test alone.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"

class Contract : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Full Windows path of `name` inside the test's folder.
    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }
    // Creates a file holding `bytes` (through the platform layer).
    void MakeFile(const std::string& name, const std::string& bytes);
    // Whole content of a file, or "<missing>".
    std::string ReadAll(const std::string& name);

    std::string folder_;      // the test's folder, no trailing backslash
    std::string keyPath_;     // its key below HKEY_CURRENT_USER
    HKEY key_ = nullptr;      // that key, open with KEY_ALL_ACCESS

private:
    struct Sandbox;
    Sandbox* sandbox_ = nullptr;
};
