// File and folder calls: the Windows behaviour the updater relies on, checked against the
// emulated machine and against Windows itself (under Wine).
#include <set>
#include <string>

#include "contract/fixture.h"

namespace {

class Files : public Contract {
protected:
    HANDLE Open(const std::string& name, DWORD access, DWORD share, DWORD disposition) {
        return platform::CreateFileA(Path(name).c_str(), access, share, nullptr, disposition,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    DWORD Attributes(const std::string& name) { return platform::GetFileAttributesA(Path(name).c_str()); }
    // Names a search for `pattern` (inside the test folder) returns, or {"<error N>"}.
    std::set<std::string> Find(const std::string& pattern) {
        WIN32_FIND_DATAA data;
        HANDLE h = platform::FindFirstFileA(Path(pattern).c_str(), &data);
        if (h == INVALID_HANDLE_VALUE) return {"<error " + std::to_string(platform::GetLastError()) + ">"};
        std::set<std::string> names;
        do names.insert(data.cFileName);
        while (platform::FindNextFileA(h, &data));
        EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_TRUE(platform::FindClose(h));
        return names;
    }
};

TEST_F(Files, CreateFileDispositions) {
    MakeFile("a.txt", "a longer first content");
    MakeFile("a.txt", "ab");  // CREATE_ALWAYS truncates
    EXPECT_EQ(ReadAll("a.txt"), "ab");

    HANDLE h = Open("a.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    platform::CloseHandle(h);
    EXPECT_EQ(ReadAll("a.txt"), "");

    EXPECT_EQ(Open("a.txt", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(Open("none.txt", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Open("none\\b.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    h = Open("new.txt", GENERIC_WRITE, 0, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    platform::CloseHandle(h);
    EXPECT_EQ(ReadAll("new.txt"), "");
}

TEST_F(Files, ReadAndWriteNeedTheirAccess) {
    MakeFile("a.txt", "data");
    HANDLE h = Open("a.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 99;
    EXPECT_FALSE(platform::WriteFile(h, "x", 1, &written, nullptr));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(written, 0u);
    char buffer[16];
    DWORD got = 0;
    EXPECT_TRUE(platform::ReadFile(h, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "data");
    EXPECT_TRUE(platform::ReadFile(h, buffer, sizeof buffer, &got, nullptr));  // end of file
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(platform::CloseHandle(h));
}

TEST_F(Files, ShareModeZeroExcludesOtherOpens) {
    MakeFile("a.txt", "data");
    HANDLE h = Open("a.txt", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("a.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(platform::DeleteFileA(Path("a.txt").c_str()));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(platform::MoveFileA(Path("a.txt").c_str(), Path("b.txt").c_str()));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(platform::CloseHandle(h));
    EXPECT_EQ(ReadAll("a.txt"), "data");

    // Readers that share reading admit readers, not writers.
    h = Open("a.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadAll("a.txt"), "data");
    EXPECT_EQ(Open("a.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    platform::CloseHandle(h);
}

TEST_F(Files, CopyFailIfExistsNeverReplaces) {
    MakeFile("src.txt", "new");
    MakeFile("dst.txt", "old");
    EXPECT_FALSE(platform::CopyFileA(Path("src.txt").c_str(), Path("dst.txt").c_str(), TRUE));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadAll("dst.txt"), "old");
    EXPECT_FALSE(platform::CopyFileA(Path("SRC.TXT").c_str(), Path("DST.txt").c_str(), TRUE));
    EXPECT_EQ(ReadAll("dst.txt"), "old");

    EXPECT_TRUE(platform::CopyFileA(Path("src.txt").c_str(), Path("dst.txt").c_str(), FALSE));
    EXPECT_EQ(ReadAll("dst.txt"), "new");
    EXPECT_FALSE(platform::CopyFileA(Path("none.txt").c_str(), Path("x.txt").c_str(), FALSE));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // The copy takes the source's read-only attribute.
    ASSERT_TRUE(platform::SetFileAttributesA(Path("src.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(platform::CopyFileA(Path("src.txt").c_str(), Path("ro.txt").c_str(), TRUE));
    EXPECT_TRUE(Attributes("ro.txt") & FILE_ATTRIBUTE_READONLY);
    platform::SetFileAttributesA(Path("src.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    platform::SetFileAttributesA(Path("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Files, MoveFailsOntoAnExistingFile) {
    MakeFile("a.txt", "A");
    MakeFile("b.txt", "B");
    EXPECT_FALSE(platform::MoveFileA(Path("a.txt").c_str(), Path("b.txt").c_str()));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadAll("a.txt"), "A");
    EXPECT_EQ(ReadAll("b.txt"), "B");

    EXPECT_TRUE(platform::MoveFileExA(Path("a.txt").c_str(), Path("b.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadAll("a.txt"), "<missing>");
    EXPECT_EQ(ReadAll("b.txt"), "A");
    EXPECT_FALSE(platform::MoveFileA(Path("a.txt").c_str(), Path("c.txt").c_str()));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // Folders move with what they hold.
    ASSERT_TRUE(platform::CreateDirectoryA(Path("d1").c_str(), nullptr));
    MakeFile("d1\\in.txt", "in");
    EXPECT_TRUE(platform::MoveFileA(Path("d1").c_str(), Path("d2").c_str()));
    EXPECT_EQ(ReadAll("d2\\in.txt"), "in");
}

// Opening a read-only file for writing is refused on Windows, but Wine run by root allows it:
// that part is checked on the emulated machine only (host tests).
TEST_F(Files, ReadOnlyFilesRefuseDelete) {
    MakeFile("a.txt", "A");
    ASSERT_TRUE(platform::SetFileAttributesA(Path("a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(Attributes("a.txt") & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(platform::DeleteFileA(Path("a.txt").c_str()));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadAll("a.txt"), "A");

    ASSERT_TRUE(platform::SetFileAttributesA(Path("a.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(platform::DeleteFileA(Path("a.txt").c_str()));
    EXPECT_FALSE(platform::DeleteFileA(Path("a.txt").c_str()));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, AttributesOfMissingFilesAndFolders) {
    EXPECT_EQ(Attributes("none.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Attributes("none\\x.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(platform::SetFileAttributesA(Path("none.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    ASSERT_TRUE(platform::CreateDirectoryA(Path("sub").c_str(), nullptr));
    EXPECT_TRUE(Attributes("sub") & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(Attributes("SUB\\") & FILE_ATTRIBUTE_DIRECTORY);
    MakeFile("h.txt", "");
    ASSERT_TRUE(platform::SetFileAttributesA(Path("h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    DWORD hidden = Attributes("H.TXT");
    EXPECT_TRUE(hidden & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(hidden & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(Files, CreateDirectoryMakesTheLastLevelOnly) {
    EXPECT_FALSE(platform::CreateDirectoryA(Path("x\\y").c_str(), nullptr));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(platform::CreateDirectoryA(Path("x").c_str(), nullptr));
    EXPECT_TRUE(platform::CreateDirectoryA(Path("x\\y").c_str(), nullptr));
    EXPECT_FALSE(platform::CreateDirectoryA(Path("X").c_str(), nullptr));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    MakeFile("f", "");
    EXPECT_FALSE(platform::CreateDirectoryA(Path("f").c_str(), nullptr));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    EXPECT_FALSE(platform::RemoveDirectoryA(Path("x").c_str()));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(platform::RemoveDirectoryA(Path("x\\y").c_str()));
    EXPECT_TRUE(platform::RemoveDirectoryA(Path("x").c_str()));
    EXPECT_EQ(Attributes("x"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Files, FindMatchesWildcardsWithoutRegardToCase) {
    for (const char* name : {"a.lst", "B.LST", "c.txt", "noext"}) MakeFile(name, "12345");
    EXPECT_EQ(Find("*.LST"), (std::set<std::string>{"a.lst", "B.LST"}));
    EXPECT_EQ(Find("*.*"), (std::set<std::string>{".", "..", "a.lst", "B.LST", "c.txt", "noext"}));
    EXPECT_EQ(Find("?.txt"), std::set<std::string>{"c.txt"});
    EXPECT_EQ(Find("*.none"), std::set<std::string>{"<error 2>"});
    EXPECT_EQ(Find("missing\\*"), std::set<std::string>{"<error 3>"});

    WIN32_FIND_DATAA data;
    HANDLE h = platform::FindFirstFileA(Path("C.TXT").c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "c.txt");
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(platform::FindNextFileA(h, &data));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    platform::FindClose(h);
}

TEST_F(Files, SearchGoesOnWhileReturnedEntriesAreDeleted) {
    std::set<std::string> made;
    for (int i = 0; i < 40; ++i) {
        std::string name = "f" + std::to_string(i) + ".tmp";
        MakeFile(name, "x");
        made.insert(name);
    }
    std::set<std::string> seen;
    WIN32_FIND_DATAA data;
    HANDLE h = platform::FindFirstFileA(Path("*.tmp").c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    do {
        EXPECT_TRUE(seen.insert(data.cFileName).second) << data.cFileName << " returned twice";
        EXPECT_TRUE(platform::DeleteFileA(Path(data.cFileName).c_str())) << data.cFileName;
    } while (platform::FindNextFileA(h, &data));
    platform::FindClose(h);
    EXPECT_EQ(seen, made);
    EXPECT_EQ(Find("*.tmp"), std::set<std::string>{"<error 2>"});
}

}  // namespace

TEST_F(Files, AFileNameFollowedByASeparatorNamesNothing) {
    MakeFile("file.txt", "data");
    const std::string name = Path("file.txt") + "\\";
    EXPECT_EQ(platform::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(platform::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(platform::GetFileAttributesA(name.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(platform::DeleteFileA(name.c_str()));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(ReadAll("file.txt"), "data");
    // A folder followed by a separator is the folder.
    ASSERT_TRUE(platform::CreateDirectoryA(Path("sub").c_str(), nullptr));
    EXPECT_NE(platform::GetFileAttributesA((Path("sub") + "\\").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(Files, PathsOfMaxPathCharactersAreRefused) {
    const std::string name = Path(std::string(300 - folder_.size(), 'n'));
    ASSERT_GE(name.size(), 300u);
    EXPECT_EQ(platform::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_FALSE(platform::CreateDirectoryA(name.c_str(), nullptr));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(Find("n*"), std::set<std::string>{"<error 2>"});
}

TEST_F(Files, PatternsMatchTheShortAliasOfALongName) {
    MakeFile("e.lstx", "long extension");
    MakeFile("plain.lst", "short name");
    // "e.lstx" has no 8.3 form: its alias ends in ".LST", so "*.LST" finds it too.
    EXPECT_EQ(Find("*.LST"), (std::set<std::string>{"e.lstx", "plain.lst"}));
    WIN32_FIND_DATAA data;
    HANDLE h = platform::FindFirstFileA(Path("e.lstx").c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::string alias = data.cAlternateFileName;
    platform::FindClose(h);
    EXPECT_EQ(alias.size() > 4 ? alias.substr(alias.size() - 4) : alias, ".LST");
    EXPECT_NE(alias.find('~'), std::string::npos) << alias;
    EXPECT_EQ(Find("*.lstx"), std::set<std::string>{"e.lstx"});
}

TEST_F(Files, LongNamesAndTheirAliasesNameTheSameFiles) {
    // 80 double-byte characters, half of them ending in the byte 0x5C. (Wine keeps names on the
    // Linux file system as UTF-8 and cuts them at 255 bytes, 85 such characters: longer names
    // are the host tests' part.)
    std::string folder;
    for (int i = 0; i < 40; ++i) folder += "\x95\x5c\x82\xa0";  // 表あ
    ASSERT_TRUE(platform::CreateDirectoryA(Path(folder).c_str(), nullptr)) << platform::GetLastError();
    MakeFile(folder + "\\long file name.txt", "inside");
    EXPECT_EQ(ReadAll(folder + "\\long file name.txt"), "inside");
    EXPECT_EQ(Find("*"), (std::set<std::string>{".", "..", folder}));
    EXPECT_EQ(Find(folder + "\\*.txt"), std::set<std::string>{"long file name.txt"});

    // A file opens, and is deleted, by its 8.3 alias as by its name.
    WIN32_FIND_DATAA data;
    HANDLE h = platform::FindFirstFileA(Path(folder + "\\long file name.txt").c_str(), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    platform::FindClose(h);
    const std::string alias = folder + "\\" + data.cAlternateFileName;
    ASSERT_NE(std::string(data.cAlternateFileName), "");
    EXPECT_EQ(ReadAll(alias), "inside");
    EXPECT_TRUE(platform::DeleteFileA(Path(alias).c_str())) << platform::GetLastError();
    EXPECT_EQ(Find(folder + "\\*"), (std::set<std::string>{".", ".."}));
    EXPECT_TRUE(platform::RemoveDirectoryA(Path(folder).c_str())) << platform::GetLastError();
    EXPECT_EQ(Find("*"), (std::set<std::string>{".", ".."}));
}

// Other software may leave the list of operations pending until restart with another type than
// REG_MULTI_SZ: nothing more can then be registered, and the value stays as it was.
TEST_F(Files, NothingIsRegisteredForTheRestartOverAPendingListOfAnotherType) {
    const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    const char kPending[] = "PendingFileRenameOperations";
    HKEY key = nullptr;
    ASSERT_EQ(platform::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, nullptr, 0,
                                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    char before[4096];
    DWORD beforeType = 0, beforeSize = sizeof before;
    bool had = platform::RegQueryValueExA(key, kPending, nullptr, &beforeType, reinterpret_cast<BYTE*>(before),
                                          &beforeSize) == ERROR_SUCCESS;
    const char foreign[] = "\\??\\C:\\other.tmp";
    ASSERT_EQ(platform::RegSetValueExA(key, kPending, 0, REG_SZ, reinterpret_cast<const BYTE*>(foreign), sizeof foreign),
              ERROR_SUCCESS);
    MakeFile("a.txt", "A");
    EXPECT_FALSE(platform::MoveFileExA(Path("a.txt").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_FALSE(platform::MoveFileExA(Path("a.txt").c_str(), Path("b.txt").c_str(),
                                       MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    char now[4096];
    DWORD type = 0, size = sizeof now;
    EXPECT_EQ(platform::RegQueryValueExA(key, kPending, nullptr, &type, reinterpret_cast<BYTE*>(now), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(now, size), std::string(foreign, sizeof foreign));
    EXPECT_EQ(ReadAll("a.txt"), "A");
    if (had)
        platform::RegSetValueExA(key, kPending, 0, beforeType, reinterpret_cast<const BYTE*>(before), beforeSize);
    else
        platform::RegDeleteValueA(key, kPending);
    platform::RegCloseKey(key);
}

// A program that holds a file sharing delete (a virus scanner, an indexer) lets it be deleted,
// but the file stays, its name taken, until that program closes it; meanwhile nothing can be
// renamed over it. A file held so may itself be renamed, but not replaced.
TEST_F(Files, ADeleteWhileAnotherHandleSharesDeleteWaitsForItsClose) {
    MakeFile("a.txt", "A");
    MakeFile("b.txt", "B");
    HANDLE h = platform::CreateFileA(Path("a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(platform::DeleteFileA(Path("a.txt").c_str()));
    EXPECT_FALSE(platform::MoveFileExA(Path("b.txt").c_str(), Path("a.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(platform::MoveFileA(Path("b.txt").c_str(), Path("a.txt").c_str()));
    EXPECT_EQ(Find("a.txt"), std::set<std::string>{"a.txt"}) << "still listed";
    platform::CloseHandle(h);
    EXPECT_EQ(Attributes("a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(platform::MoveFileA(Path("b.txt").c_str(), Path("a.txt").c_str()));

    h = platform::CreateFileA(Path("a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(platform::MoveFileA(Path("a.txt").c_str(), Path("c.txt").c_str()));
    MakeFile("d.txt", "D");
    EXPECT_FALSE(platform::MoveFileExA(Path("d.txt").c_str(), Path("c.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    platform::CloseHandle(h);
    EXPECT_EQ(ReadAll("c.txt"), "B");

    // Opening for deletion, alone, is refused while another handle is open.
    h = platform::CreateFileA(Path("d.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(platform::CreateFileA(Path("d.txt").c_str(), DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    platform::CloseHandle(h);
    HANDLE alone = platform::CreateFileA(Path("d.txt").c_str(), DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(alone, INVALID_HANDLE_VALUE);
    platform::CloseHandle(alone);
    for (const char* name : {"c.txt", "d.txt"}) platform::DeleteFileA(Path(name).c_str());
}

// A copy reads its source through the source's share mode.
TEST_F(Files, ACopyOfAFileHeldWithoutSharingFailsAndMakesNothing) {
    MakeFile("src.txt", "data");
    HANDLE h = platform::CreateFileA(Path("src.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                     nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(platform::CopyFileA(Path("src.txt").c_str(), Path("dst.txt").c_str(), TRUE));
    EXPECT_EQ(Attributes("dst.txt"), INVALID_FILE_ATTRIBUTES);
    platform::CloseHandle(h);
    EXPECT_TRUE(platform::CopyFileA(Path("src.txt").c_str(), Path("dst.txt").c_str(), TRUE));
    for (const char* name : {"src.txt", "dst.txt"}) platform::DeleteFileA(Path(name).c_str());
}

// Only data access (reading or executing, writing, deleting) takes part in share checks: a
// handle without it (a virus scanner or the shell reading attributes) is neither refused nor
// refuses; execute access shares as reading does.
TEST_F(Files, ShareChecksCountDataAccessOnly) {
    const DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
    const DWORD kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const struct {
        const char* what;
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool opens;
    } cases[] = {
        {"attributes only, then read-write", FILE_READ_ATTRIBUTES, 0, kReadWrite, 0, true},
        {"read-write, then attributes only", kReadWrite, 0, FILE_READ_ATTRIBUTES, 0, true},
        {"write, then no access at all", GENERIC_WRITE, 0, 0, 0, true},
        {"read, then control and extended attributes", GENERIC_READ, 0, SYNCHRONIZE | READ_CONTROL | FILE_READ_EA, 0, true},
        {"read, then attribute writes", GENERIC_READ, 0, FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA, 0, true},
        {"execute sharing reads, then write", FILE_EXECUTE, FILE_SHARE_READ, GENERIC_WRITE, kAll, false},
        {"generic execute, then read not sharing it", GENERIC_EXECUTE, kAll, GENERIC_READ, FILE_SHARE_WRITE, false},
        {"read not sharing reads, then execute", GENERIC_READ, FILE_SHARE_WRITE, FILE_EXECUTE, kAll, false},
        {"execute sharing reads, then read", FILE_EXECUTE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
    };
    MakeFile("a.txt", "data");
    for (const auto& c : cases) {
        HANDLE first = Open("a.txt", c.firstAccess, c.firstShare, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE) << c.what;
        HANDLE second = Open("a.txt", c.secondAccess, c.secondShare, OPEN_EXISTING);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.opens) << c.what;
        if (second == INVALID_HANDLE_VALUE)
            EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << c.what;
        else
            platform::CloseHandle(second);
        platform::CloseHandle(first);
    }
    // A handle on the attributes alone keeps neither a rename nor a delete from the file.
    HANDLE attributes = Open("a.txt", FILE_READ_ATTRIBUTES, 0, OPEN_EXISTING);
    ASSERT_NE(attributes, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(platform::MoveFileA(Path("a.txt").c_str(), Path("b.txt").c_str())) << platform::GetLastError();
    EXPECT_TRUE(platform::DeleteFileA(Path("b.txt").c_str())) << platform::GetLastError();
    platform::CloseHandle(attributes);
    EXPECT_EQ(Attributes("b.txt"), INVALID_FILE_ATTRIBUTES);
    // But a file open at all, even without data access, is not replaced by a rename over it.
    MakeFile("c.txt", "C");
    MakeFile("d.txt", "D");
    attributes = Open("c.txt", FILE_READ_ATTRIBUTES, 0, OPEN_EXISTING);
    ASSERT_NE(attributes, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(platform::MoveFileExA(Path("d.txt").c_str(), Path("c.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    platform::CloseHandle(attributes);
    EXPECT_EQ(ReadAll("c.txt"), "C");
}

// CopyFileA reads its source sharing reading and writing: a program that keeps the file open
// for reading and writing, sharing reads (the product on its database), does not stop a copy.
TEST_F(Files, ACopyReadsASourceHeldForWritingThatSharesReads) {
    MakeFile("src.txt", "data");
    HANDLE h = Open("src.txt", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(platform::CopyFileA(Path("src.txt").c_str(), Path("dst.txt").c_str(), TRUE)) << platform::GetLastError();
    platform::CloseHandle(h);
    EXPECT_EQ(ReadAll("dst.txt"), "data");
}

// A folder renamed with MOVEFILE_REPLACE_EXISTING replaces a file of the new name; nothing
// replaces a folder. A trailing dot goes from every folder of a path, not only from its end.
TEST_F(Files, FoldersReplaceFilesAndLoseTheirTrailingDot) {
    ASSERT_TRUE(platform::CreateDirectoryA(Path("dir").c_str(), nullptr));
    MakeFile("dir.\\in.txt", "in");
    EXPECT_EQ(ReadAll("dir\\in.txt"), "in");
    EXPECT_EQ(ReadAll("dir.\\in.txt"), "in");
    MakeFile("file.txt", "old");
    EXPECT_TRUE(platform::MoveFileExA(Path("dir").c_str(), Path("file.txt").c_str(), MOVEFILE_REPLACE_EXISTING))
        << platform::GetLastError();
    EXPECT_EQ(ReadAll("file.txt\\in.txt"), "in");
    MakeFile("other.txt", "x");
    EXPECT_FALSE(platform::MoveFileExA(Path("other.txt").c_str(), Path("file.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    platform::DeleteFileA(Path("file.txt\\in.txt").c_str());
}

// FILE_FLAG_DELETE_ON_CLOSE deletes the file with its handle, and is refused on a read-only
// file.
TEST_F(Files, DeleteOnCloseAsWindowsDoesIt) {
    MakeFile("a.txt", "A");
    HANDLE doomed = platform::CreateFileA(Path("a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(doomed, INVALID_HANDLE_VALUE);
    platform::CloseHandle(doomed);
    EXPECT_EQ(Attributes("a.txt"), INVALID_FILE_ATTRIBUTES);
#ifndef _WIN32
    // Microsoft documents the file as deleted once all its handles are closed, and pending
    // deletion until then (Wine leaves it in place): the emulated machine follows the documentation.
    MakeFile("a.txt", "A");
    HANDLE h = Open("a.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
    doomed = platform::CreateFileA(Path("a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(doomed, INVALID_HANDLE_VALUE);
    platform::CloseHandle(doomed);
    EXPECT_EQ(Open("a.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING), INVALID_HANDLE_VALUE)
        << "deleted, waiting for the last handle";
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    platform::CloseHandle(h);
    EXPECT_EQ(Attributes("a.txt"), INVALID_FILE_ATTRIBUTES);
#endif

    MakeFile("ro.txt", "R");
    ASSERT_TRUE(platform::SetFileAttributesA(Path("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(platform::CreateFileA(Path("ro.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadAll("ro.txt"), "R");
#ifndef _WIN32
    // The emulated machine refuses what it does not model rather than ignore it.
    const DWORD kWriteThrough = 0x80000000u;
    EXPECT_EQ(platform::CreateFileA(Path("ro.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    kWriteThrough, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(platform::MoveFileExA(Path("ro.txt").c_str(), Path("b.txt").c_str(), 0x8 /* WRITE_THROUGH */));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
#endif
}

// Wildcards as FindFirstFileA matches them: a pattern ending in a dot names files without an
// extension, "*.*.*" takes names with up to two dots and none, '?' may match nothing before a
// dot or at the end, and '<', '>' and '"' are the DOS wildcards (Microsoft documents them with
// FsRtlIsNameInExpression, and the translation of '*', '?' and '.' with .NET's
// FileSystemName.TranslateWin32Expression). Wine matches '*' and '?' alone and drops a final
// dot: the cases it does not share are checked on the emulated machine only, by that
// documentation. "." and ".." are left out of the comparison.
TEST_F(Files, WildcardsMatchAsTheDosRulesSay) {
    for (const char* name : {"noext", "a.txt", "b.c.d", "ab"}) MakeFile(name, "");
    const std::set<std::string> none = {"<error 2>"};
    const struct {
        const char* pattern;
        std::set<std::string> found;
        bool wineToo;
    } cases[] = {
        {"*.", {"noext", "ab"}, false},
        {"* .", {"noext", "ab"}, false},
        {"*..", {"noext", "ab"}, false},
        {"*.*.*", {"noext", "a.txt", "b.c.d", "ab"}, true},
        {"ab?.", {"ab"}, false},
        {"a?.txt", {"a.txt"}, false},
        {"ab???", {"ab"}, false},
        {"<.txt", {"a.txt"}, false},
        {"b<", none, true},
        {"b<.d", {"b.c.d"}, false},
        {"a>>>.txt", {"a.txt"}, false},
        {"b.c\"d", {"b.c.d"}, false},
        {"noext\"", {"noext"}, false},
    };
    for (const auto& c : cases) {
#ifdef _WIN32
        if (!c.wineToo) continue;
#endif
        std::set<std::string> found = Find(c.pattern);
        found.erase(".");
        found.erase("..");
        EXPECT_EQ(found, c.found) << c.pattern;
    }
}
