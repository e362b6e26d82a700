#include "platform/file_replace.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/files.h"
#include "platform/log.h"
#include "support/os_faults.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/program_stub.h"
#endif

namespace {

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (auto entries = platform::listFolder(folder)) {
        for (const auto& e : *entries)
            names.push_back(e.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What a replacement must carry over: the permission bits on POSIX, the read-only, hidden and
// system attributes on Windows.
#ifdef _WIN32
constexpr int kTargetPermissions = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
constexpr int kSourcePermissions = FILE_ATTRIBUTE_HIDDEN;
int permissionsOf(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
    return static_cast<int>(
        attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}
void writeWithPermissions(const std::string& path, const std::string& bytes, int permissions) {
    writeFileBytes(path, bytes);
    SetFileAttributesA(path.c_str(), static_cast<DWORD>(permissions));
}
#else
constexpr int kTargetPermissions = 0640;
constexpr int kSourcePermissions = 0755;
int permissionsOf(const std::string& path) {
    return fileMode(path);
}
void writeWithPermissions(const std::string& path, const std::string& bytes, int permissions) {
    writeFileBytes(path, bytes);
    chmod(path.c_str(), static_cast<mode_t>(permissions));
}
#endif

TEST(ReplaceWithCopy, ReplacesWholeOrNotAtAll) {
    enum class Target { File, Missing, Folder };
    struct Case {
        const char* name;
        bool sourceExists;
        Target target;
        bool result;
        const char* content;  // of the target afterwards; nullptr: a folder or nothing
        int mode;
    };
    const Case cases[] = {
        {"the target keeps its permissions", true, Target::File, true, "new", kTargetPermissions},
        {"a new target gets the source's", true, Target::Missing, true, "new", kSourcePermissions},
        {"a missing source leaves the target as it was", false, Target::File, false, "old",
         kTargetPermissions},
        {"a folder is not replaced", true, Target::Folder, false, nullptr, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string source = dir.file("source");
        std::string target = dir.file("target");
        if (c.sourceExists) writeWithPermissions(source, "new", kSourcePermissions);
        if (c.target == Target::File) writeWithPermissions(target, "old", kTargetPermissions);
        if (c.target == Target::Folder) platform::createFolder(target);

        EXPECT_EQ(platform::replaceWithCopy(source, target), c.result);
        if (c.content) {
            EXPECT_EQ(readFileBytes(target), c.content);
            EXPECT_EQ(permissionsOf(target), c.mode);
        }
        std::vector<std::string> expected{"target"};
        if (c.sourceExists) expected.insert(expected.begin(), "source");
        if (c.target == Target::Missing && !c.result) expected.pop_back();
        EXPECT_EQ(namesIn(dir.path()), expected) << "nothing may be left beside the target";
#ifdef _WIN32
        // A read-only file would outlive the temporary folder.
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    }
}

TEST(ReplaceWithCopy, AFailingSystemLeavesTheOldTargetWholeAndNothingBesideIt) {
    for (test::OsFault fault : test::kOsFaults) {
        SCOPED_TRACE(test::nameOf(fault));
        TempDir dir;
        std::string source = dir.file("source");
        std::string target = dir.file("target");
        writeFileBytes(source, std::string(300000, 'n'));
        writeFileBytes(target, "old");
        std::vector<std::string> lines;
        platform::setLogHandler([&](std::string_view line) { lines.emplace_back(line); });
        platform::OsError error;
        {
            test::ScopedOsFault failing(fault, target);
            EXPECT_FALSE(platform::replaceWithCopy(source, target));
            EXPECT_FALSE(platform::replaceWithCopy(source, target, &error));
        }
        platform::setLogHandler(nullptr);
        EXPECT_EQ(readFileBytes(target), "old");
        EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"source", "target"}));
        // The cause reaches the caller, the system's code and the file it concerns; the seam
        // itself logs nothing, with or without a caller that takes the cause.
        EXPECT_EQ(error.code, test::codeOf(fault));
        EXPECT_NE(error.path.find(dir.path()), std::string::npos) << error.path;
        EXPECT_TRUE(lines.empty()) << lines.front();
    }
}

#ifdef _WIN32
TEST(ReplaceWithCopy, ATargetHeldOpenIsReplacedWholeOrKept) {
    TempDir dir;
    std::string target = dir.file("target");
    writeFileBytes(target, "old contents");
    writeFileBytes(dir.file("source"), std::string(300000, 'n'));
    // A reader that lets others rename and delete, as a virus scanner opens files.
    HANDLE reader = CreateFileA(target.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    bool replaced = platform::replaceWithCopy(dir.file("source"), target);
    char seen[64] = {};
    DWORD got = 0;
    ReadFile(reader, seen, sizeof seen, &got, nullptr);
    CloseHandle(reader);
    EXPECT_EQ(std::string(seen, got), "old contents") << "the reader keeps the old file";
    EXPECT_EQ(readFileBytes(target), replaced ? std::string(300000, 'n') : "old contents");
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"source", "target"}));
}
#else
// Windows refuses to replace the file of a running program, which is why the updater waits for
// the old program to end first.
TEST(ReplaceWithCopy, RunningProgramAndOpenReadersKeepTheOldFile) {
    TempDir dir;
    std::string target = dir.file("program");
    std::string oldProgram = readFileBytes("/bin/sleep");
    writeExecutable(target, oldProgram);
    ProgramId running = spawnProgram(target, {"30"});
    ASSERT_GT(running, 0);
    int reader = open(target.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);

    std::string newProgram(300000, 'n');
    writeFileBytes(dir.file("source"), newProgram);
    EXPECT_TRUE(platform::replaceWithCopy(dir.file("source"), target));
    EXPECT_EQ(readFileBytes(target), newProgram);

    std::string seen(oldProgram.size() + 1, '\0');
    ssize_t got = pread(reader, seen.data(), seen.size(), 0);
    close(reader);
    EXPECT_EQ(seen.substr(0, got > 0 ? static_cast<size_t>(got) : 0), oldProgram);
    EXPECT_TRUE(programRunning(running)) << "the running program goes on";
    killProgram(running);
}
#endif

#ifdef _WIN32
TEST(MakeExecutable, AnyFileCanStartAndAMissingOneFails) {
    TempDir dir;
    writeFileBytes(dir.file("program.exe"), "x");
    EXPECT_TRUE(platform::makeExecutable(dir.file("program.exe")));
    EXPECT_FALSE(platform::makeExecutable(dir.file("missing.exe")));
}
#else
TEST(MakeExecutable, AddsExecuteWhereReadIsAllowed) {
    const std::pair<int, int> cases[] = {{0644, 0755}, {0600, 0700}, {0640, 0750}, {0755, 0755}};
    TempDir dir;
    std::string file = dir.file("program");
    writeFileBytes(file, "x");
    for (auto [before, after] : cases) {
        chmod(file.c_str(), static_cast<mode_t>(before));
        EXPECT_TRUE(platform::makeExecutable(file));
        EXPECT_EQ(fileMode(file), after) << std::oct << before;
    }
    EXPECT_FALSE(platform::makeExecutable(dir.file("missing")));
}
#endif

}  // namespace
