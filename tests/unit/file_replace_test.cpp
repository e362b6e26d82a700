#include "platform/file_replace.h"

#include <gtest/gtest.h>

#include <algorithm>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/files.h"
#include "support/program_stub.h"
#include "support/temp_dir.h"

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
        {"the target keeps its permissions", true, Target::File, true, "new", 0640},
        {"a new target gets the source's", true, Target::Missing, true, "new", 0755},
        {"a missing source leaves the target as it was", false, Target::File, false, "old", 0640},
        {"a folder is not replaced", true, Target::Folder, false, nullptr, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string source = dir.file("source");
        std::string target = dir.file("target");
        if (c.sourceExists) writeExecutable(source, "new");
        if (c.target == Target::File) {
            writeFileBytes(target, "old");
#ifndef _WIN32
            chmod(target.c_str(), 0640);
#endif
        }
        if (c.target == Target::Folder) platform::createFolder(target);

        EXPECT_EQ(platform::replaceWithCopy(source, target), c.result);
        if (c.content) {
            EXPECT_EQ(readFileBytes(target), c.content);
#ifndef _WIN32
            EXPECT_EQ(fileMode(target), c.mode);
#endif
        }
        std::vector<std::string> expected{"target"};
        if (c.sourceExists) expected.insert(expected.begin(), "source");
        if (c.target == Target::Missing && !c.result) expected.pop_back();
        EXPECT_EQ(namesIn(dir.path()), expected) << "nothing may be left beside the target";
    }
}

#ifndef _WIN32
// POSIX only: Windows refuses to replace the file of a running program, which is why the updater
// waits for the old program to end first.
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
