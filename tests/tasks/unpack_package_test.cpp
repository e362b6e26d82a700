#include <filesystem>

#include "common/task_status.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "support/native_path.h"
#include "support/program_stub.h"
#include "support/zip_fixture.h"
#include "task_harness.h"
#include "tasks/import_worker.h"

namespace {

struct Entry {
    std::string name;
    bool folder;
    std::string content;
};

// A package with exactly these entries, folder attributes included, as another tool may write.
std::string packageOf(const std::vector<Entry>& entries) {
    std::vector<ZipEntry> zipped;
    for (const Entry& e : entries)
        zipped.push_back(ZipEntry(e.name, e.content)
                             .deflated()
                             .attributes(e.folder ? kDosFolder : kDosArchive)
                             .madeOn(kMadeOnDos));
    return zipBytes(zipped);
}

class UnpackTest : public TaskHarness {};

// The set is renamed from its track entry's name. A folder entry is never unpacked, so its
// name was never checked, and it made the import move a route book set from the folder above
// the temporary folder into it, install it and delete it.
TEST_F(UnpackTest, TrackNamesThatLeaveTheTemporaryFolderTakeNothingFromOutside) {
    // Beside the program's temporary folder, under a name no other run uses.
    const std::string victim = "vantu-victim-" + std::to_string(currentProcessId());
    const FileTree set = routeBookSet(victim);
    for (const char* climb : {"../", "..\\", "sub/../../"}) {
        SCOPED_TRACE(climb);
        fresh(Link::Drive);
        for (const auto& [path, bytes] : set) {
            if (path.find('/') != std::string::npos) platform::createFolder(inTemp("../" + victim));
            writeFileBytes(inTemp("../" + path), bytes);
        }
        server.serve("/a.zip", packageOf({{"X.trk", false, trackBytes(5)},
                                          {climb + victim + ".trk", true, ""}}));
        run(importToPDA, "<rb><url>" + server.url("/a.zip") + "</url><name>A</name></rb>");

        // A folder entry is no track: the package's one track is installed under its name.
        EXPECT_EQ(pageCalls(), (std::vector<std::string>{progressCall(1, "down"),
                                                         statusCall(TaskStatus::Done)}));
        for (const auto& [path, bytes] : set)
            EXPECT_EQ(readFileBytes(inTemp("../" + path)), bytes) << path;
        const FileTree installed = treeOf(onNavigator());
        EXPECT_EQ(installed.count("A.trk"), 1u);
        EXPECT_EQ(installed.count(victim + ".trk"), 0u);
        EXPECT_TRUE(treeOf(inTemp()).empty());
        std::filesystem::remove_all(nativePath(inTemp("../" + victim)));
        for (const char* extension : {".trk", ".sim"})
            platform::deleteFile(inTemp("../" + victim + extension));
    }
}

// Two entries for one file would let the last one win without a word; a package far larger
// than any route book would hold the navigator and the PC's folder without bound.
TEST_F(UnpackTest, DuplicateEntriesAndTooManyEntriesAreRefused) {
    std::vector<Entry> tooMany = {{"R.trk", false, "x"}};
    for (size_t i = 0; i < kMaxPackageEntries; ++i)
        tooMany.push_back({"R/" + std::to_string(i), false, "x"});
    const struct {
        const char* label;
        std::vector<Entry> entries;
    } cases[] = {
        {"both separators",
         {{"R.trk", false, "t"}, {"R/R.rut", false, "1"}, {"R\\R.rut", false, "2"}}},
        {"letter case", {{"R.trk", false, "t"}, {"R/R.rut", false, "1"}, {"r/r.RUT", false, "2"}}},
        {"too many entries", tooMany},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fresh(Link::Device);
        server.serve("/a.zip", packageOf(c.entries));
        run(importToPDA, "<rb><url>" + server.url("/a.zip") + "</url><name>A</name></rb>");
        EXPECT_EQ(pageCalls(), (std::vector<std::string>{progressCall(1, "down"),
                                                         statusCall(TaskStatus::UnpackFailed)}));
        EXPECT_TRUE(treeOf(onNavigator()).empty());
        EXPECT_TRUE(treeOf(inTemp()).empty());
    }
}

}  // namespace
