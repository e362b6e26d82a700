#include "platform/process.h"

#include <gtest/gtest.h>

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
    std::string script = dir.file(std::string("program") + kProgramSuffix);
    writeExecutable(script, parentScript(marker));
    ASSERT_TRUE(platform::startProgram(script));
    ASSERT_TRUE(waitForFile(marker, 10s));
    EXPECT_NE(std::stol(readFileBytes(marker)), currentProcessId());
    EXPECT_FALSE(hasUnwaitedChild()) << "no child of ours is left to wait for";

    writeFileBytes(dir.file("not executable"), "#!/bin/sh\n");
    platform::createFolder(dir.file("folder"));
    for (const char* name : {"missing", "not executable", "folder"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(platform::startProgram(dir.file(name)));
    }
}

}  // namespace
