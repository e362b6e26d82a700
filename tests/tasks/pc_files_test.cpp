#include "bridge/pc_files.h"

#include <chrono>
#include <functional>
#include <optional>

#include "ops/route_book_list.h"
#include "platform/codepage.h"
#include "platform/file_dialog.h"
#include "platform/files.h"
#include "task_harness.h"

namespace {

using namespace std::chrono_literals;
using platform::FileDialogAnswer;
using platform::FileDialogRequest;

std::string ansi(const char* utf8) {
    return platform::utf8ToAnsi(utf8);
}

std::string attribute(const std::string& document, const std::string& name) {
    size_t at = document.find(" " + name + "=\"");
    if (at == std::string::npos) return "<none>";
    at += name.size() + 3;
    return document.substr(at, document.find('"', at) - at);
}

// GPX 1.1 with two points the navigator keeps and one south of the equator.
constexpr const char* kRide =
    "<?xml version=\"1.0\"?><gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
    "<trk><trkseg><trkpt lat=\"30.2\" lon=\"120.1\"/><trkpt lat=\"30.21\" lon=\"120.11\"/>"
    "<trkpt lat=\"-1\" lon=\"120.2\"/></trkseg></trk></gpx>";
constexpr const char* kSouthOnly =
    "<?xml version=\"1.0\"?><gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
    "<trk><trkseg><trkpt lat=\"-30.2\" lon=\"120.1\"/></trkseg></trk></gpx>";

constexpr const char* kLongest = "<longest>";

// The methods for files on the PC, with the system's dialog answered by the test: a file of `pc`,
// a cancel (nothing), or a path the code page cannot hold ("?").
class PcFilesTest : public TaskHarness {
  protected:
    PcFilesTest() {
        writeFileBytes(pc.file("good.zip"), goodZip);
        writeFileBytes(pc.file("bad.zip"), "not a zip");
        writeFileBytes(pc.file("ride.gpx"), kRide);
        writeFileBytes(pc.file("page.gpx"), "<html></html>");
        writeFileBytes(pc.file("south.gpx"), kSouthOnly);
        seat.answerDialog = [this](const FileDialogRequest& request) {
            asked.push_back(request);
            if (!answer) return FileDialogAnswer{};
            if (*answer == "?") return FileDialogAnswer{FileDialogAnswer::Outcome::Unreachable, {}};
            return FileDialogAnswer{FileDialogAnswer::Outcome::Chosen, pc.file(*answer)};
        };
    }

    // The longest route book name the navigator's folder takes.
    std::string longestName() const {
        std::string name = "n";
        while (isRouteBookFileName(device->dataRoot, name + "n"))
            name += "n";
        return name;
    }

    // Calls the method and waits for the task it may have started.
    std::string call(const std::function<std::string(DeviceManager&, const std::string&)>& method,
                     std::optional<std::string> file, const std::string& argument) {
        answer = std::move(file);
        asked.clear();
        std::string outcome = method(*device, argument);
        EXPECT_TRUE(device->taskThread.waitIdle(30s));
        return outcome;
    }

    TempDir pc;
    const std::string goodZip = makePackage(routeBookSet("Inner"));
    std::optional<std::string> answer;
    std::vector<FileDialogRequest> asked;
};

TEST_F(PcFilesTest, InstallsWhatTheUserChoseOrSaysWhyNot) {
    struct Case {
        std::string (*method)(DeviceManager&, const std::string&);
        std::optional<std::string> file;
        std::string name;
        const char* status;
        std::string installed;  // the route book's name, or the message's start
        const char* dropped = "0";
    } cases[] = {
        {installPackageFromPC, std::nullopt, "", "cancelled", ""},
        {installPackageFromPC, "?", "", "refused", ansi("这个文件的路径里有系统的代码页")},
        {installPackageFromPC, "bad.zip", "", "refused", ansi("“bad.zip”不是路书包")},
        {installPackageFromPC, "good.zip", "", "started", "Inner"},
        {installPackageFromPC, "good.zip", beijing(), "started", beijing()},
        {installPackageFromPC, "good.zip", "a/b", "refused", ansi("“a/b”不能作为")},
        {installPackageFromPC, "good.zip", "a", "refused", ansi("导航仪上已经有名为“a”")},
        {installPackageFromPC, "good.zip", "x&y", "refused", ansi("“x&amp;y”不能作为")},
        // A name the navigator holds, but not under the longer name it is installed under.
        {installPackageFromPC, "good.zip", kLongest, "refused", ansi("太长")},
        {installGpxFromPC, "ride.gpx", "", "started", "ride", "1"},
        {installGpxFromPC, "ride.gpx", "Ride2", "started", "Ride2", "1"},
        {installGpxFromPC, "page.gpx", "", "refused", ansi("“page.gpx”不是能读的 GPX 文件")},
        {installGpxFromPC, "south.gpx", "", "refused", ansi("“south.gpx”里没有导航仪能保存")},
        {installGpxFromPC, std::nullopt, "", "cancelled", ""},
    };
    for (Link how : {Link::Device, Link::Drive}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << (how == Link::Device ? "device " : "drive ")
                                            << c.file.value_or("cancel") << " as " << c.name);
            fresh(how);
            addRouteBook("A", routeBookSet("A"));
            std::string outcome =
                call(c.method, c.file, c.name == kLongest ? longestName() : c.name);
            EXPECT_EQ(attribute(outcome, "status"), c.status) << outcome;
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_EQ(asked[0].kind, FileDialogRequest::Kind::Open);
            EXPECT_EQ(asked[0].extension, c.method == installGpxFromPC ? "gpx" : "zip");
            std::vector<std::string> listed{"A"};
            if (c.status == std::string("started")) {
                EXPECT_EQ(attribute(outcome, "name"), c.installed);
                EXPECT_EQ(attribute(outcome, "dropped"), c.dropped);
                EXPECT_EQ(pageCalls(), (std::vector<std::string>{progressCall(1, "down"),
                                                                 statusCall(TaskStatus::Done)}));
                EXPECT_TRUE(platform::fileExists(onNavigator(c.installed + ".trk")));
                listed.push_back(c.installed);
            } else {
                EXPECT_NE(outcome.find(c.installed), std::string::npos) << outcome;
                EXPECT_TRUE(pageCalls().empty());
            }
            EXPECT_EQ(listedNames(), listed);
            // The user's files are only read; the program's own leave nothing behind.
            EXPECT_EQ(readFileBytes(pc.file("good.zip")), goodZip);
            EXPECT_EQ(readFileBytes(pc.file("ride.gpx")), kRide);
            for (const auto& [name, bytes] : treeOf(inTemp()))
                ADD_FAILURE() << "left: " << name;
        }
    }
}

TEST_F(PcFilesTest, SavesARouteBookAsGpxWhereTheUserChose) {
    for (Link how : {Link::Device, Link::Drive}) {
        SCOPED_TRACE(how == Link::Device ? "device" : "drive");
        fresh(how);
        addRouteBook("A", routeBookSet("A"));
        writeFileBytes(pc.file("old.gpx"), "old");
        platform::deleteFile(pc.file("plain.gpx"));
        struct Case {
            std::optional<std::string> file;
            const char* rbid;
            const char* status;
            std::string written;  // the file that holds the GPX, if any
            // Whether the user is asked to replace a file: the dialog asked about the name as
            // typed, not about the one it is saved under.
            bool asked = false;
            bool replace = false;
        } cases[] = {
            {"old.gpx", "0", "saved", "old.gpx"},
            // A name without an extension gets the dialog's.
            {"plain", "0", "saved", "plain.gpx"},
            {"plain", "0", "cancelled", "", true, false},
            {"plain", "0", "saved", "plain.gpx", true, true},
            {std::nullopt, "0", "cancelled", ""},
            {"?", "0", "refused", ""},
            {"other.gpx", "1", "refused", ""},
            {"other.gpx", "-1", "refused", ""},
        };
        for (const Case& c : cases) {
            std::vector<std::string> questions;
            seat.answerQuestion = [&](const std::string& text, const std::string&) {
                questions.push_back(text);
                return c.replace;
            };
            if (c.asked) writeFileBytes(pc.file("plain.gpx"), "mine");
            std::string outcome = call(saveGpxToPC, c.file, c.rbid);
            seat.answerQuestion = nullptr;
            EXPECT_EQ(attribute(outcome, "status"), c.status) << outcome;
            EXPECT_EQ(questions.size(), c.asked ? 1u : 0u);
            if (c.asked && !c.replace) {
                EXPECT_EQ(readFileBytes(pc.file("plain.gpx")), "mine");
            }
            if (c.written.empty()) continue;
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_EQ(asked[0].kind, FileDialogRequest::Kind::Save);
            EXPECT_EQ(asked[0].suggestedName, "A.gpx");
            EXPECT_EQ(attribute(outcome, "file"), c.written);
            std::string text = readFileBytes(pc.file(c.written));
            EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << text;
            EXPECT_NE(text.find("<trkpt"), std::string::npos);
        }
        EXPECT_FALSE(platform::fileExists(pc.file("other.gpx")));
        EXPECT_TRUE(pageCalls().empty());
        EXPECT_TRUE(treeOf(inTemp()).empty());
    }
}

}  // namespace

namespace {

// A backup of the navigator and its restore, as the page asks for them: a restore keeps a file
// that differs from the backup and names it; "replace" restores the same backup again and
// replaces it; "replace" before any chosen backup does nothing.
TEST_F(PcFilesTest, BacksUpAndRestoresKeepingWhatDiffersUntilAskedToReplace) {
    for (Link how : {Link::Device, Link::Drive}) {
        SCOPED_TRACE(how == Link::Device ? "device" : "drive");
        fresh(how);
        addRouteBook("A", routeBookSet("A"));
        platform::deleteFile(pc.file("nav.zip"));
        PcBackup last;
        EXPECT_EQ(attribute(backupOutcome(*device, last), "state"), "none");
        EXPECT_EQ(attribute(restoreFromPC(*device, last, "replace"), "status"), "refused");
        EXPECT_EQ(attribute(call([&](auto& d, auto& a) { return backupToPC(d, last, a); }, {}, ""),
                            "status"),
                  "cancelled");

        auto backup = [&](auto& d, auto& a) { return backupToPC(d, last, a); };
        EXPECT_EQ(attribute(call(backup, "nav", ""), "status"), "started");
        EXPECT_EQ(asked.at(0).kind, FileDialogRequest::Kind::Save);
        std::string outcome = backupOutcome(*device, last);
        EXPECT_EQ(attribute(outcome, "state"), "finished") << outcome;
        EXPECT_TRUE(platform::fileExists(pc.file("nav.zip")));

        const std::string original = readFileBytes(onNavigator("A.sim"));
        writeFileBytes(onNavigator("A.sim"), "changed");
        platform::deleteFile(onNavigator("A/A.tps"));
        auto restore = [&](auto& d, auto& a) { return restoreFromPC(d, last, a); };
        EXPECT_EQ(attribute(call(restore, "nav.zip", ""), "status"), "started");
        outcome = backupOutcome(*device, last);
        EXPECT_EQ(attribute(outcome, "kind"), "restore");
        EXPECT_NE(outcome.find("<kept>"), std::string::npos) << outcome;
        EXPECT_EQ(readFileBytes(onNavigator("A.sim")), "changed");
        EXPECT_TRUE(platform::fileExists(onNavigator("A/A.tps")));

        // No dialog the second time: the same backup.
        EXPECT_EQ(attribute(call(restore, std::nullopt, "replace"), "status"), "started");
        EXPECT_TRUE(asked.empty());
        EXPECT_EQ(readFileBytes(onNavigator("A.sim")), original);
        outcome = backupOutcome(*device, last);
        EXPECT_EQ(attribute(outcome, "replaced"), "1") << outcome;
        EXPECT_EQ(outcome.find("<kept>"), std::string::npos) << outcome;
    }
}

}  // namespace
