#include "platform/library.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "support/program_stub.h"

namespace {

// vantu_planted.dll stands beside the test program. Once the program has closed the search, a
// bare name (as the browser control or the shell may load one) does not find it; and a library
// loaded by its full path, as the remote API library is, takes the copy of its own folder.
TEST(Library, ACopyPlantedBesideTheProgramIsNeverLoaded) {
    platform::loadLibrariesFromSystemOnly();
    EXPECT_EQ(LoadLibraryA("vantu_planted.dll"), nullptr);
    EXPECT_FALSE(platform::Library("vantu_planted.dll").isLoaded());

    platform::Library probe(buildTreeFile(VANTU_PLANTED_PROBE));
    ASSERT_TRUE(probe.isLoaded()) << GetLastError();
    auto origin = probe.function<int (*)()>("ProbeOrigin");
    ASSERT_NE(origin, nullptr);
    EXPECT_EQ(origin(), 1) << "the planted copy was loaded";
}

}  // namespace
