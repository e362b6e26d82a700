#include "platform/process.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "platform/files.h"
#include "support/program_stub.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

TEST(StartProgram, StartsDetachedAndReportsWhatCannotStart) {
    TempDir dir;
    std::string marker = dir.file("parent");
    std::string script = dir.file("program");
    // The line is written to a temporary name first so that the test never reads half of it.
    writeExecutable(script, "#!/bin/sh\necho $PPID > '" + marker + ".part'; mv '" + marker +
                                ".part' '" + marker + "'\n");
    ASSERT_TRUE(platform::startProgram(script));
    ASSERT_TRUE(waitForFile(marker, 10s));
    EXPECT_NE(std::stol(readFileBytes(marker)), static_cast<long>(getpid()));
    // No child of ours is left to wait for.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    writeFileBytes(dir.file("not executable"), "#!/bin/sh\n");
    platform::createFolder(dir.file("folder"));
    for (const char* name : {"missing", "not executable", "folder"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(platform::startProgram(dir.file(name)));
    }
}

}  // namespace
