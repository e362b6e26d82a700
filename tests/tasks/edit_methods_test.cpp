#include "bridge/edit_methods.h"

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>

#include "formats/edit_document.h"
#include "platform/file_dialog.h"
#include "platform/files.h"
#include "task_harness.h"
#include "tasks/local_install.h"

namespace {

using namespace std::chrono_literals;
using platform::FileDialogAnswer;
using platform::FileDialogRequest;

std::string status(const std::string& answer) {
    size_t at = answer.find(" status=\"");
    return at == std::string::npos ? answer
                                   : answer.substr(at + 9, answer.find('"', at + 9) - at - 9);
}

// The editor's methods against the simulator, the save dialog answered by the test with a file
// of `pc`, or cancelled.
class EditMethodsTest : public TaskHarness {
  protected:
    EditMethodsTest() {
        writeFileBytes(pc.file("book.zip"), makePackage(routeBookSet("Inner")));
        seat.answerDialog = [this](const FileDialogRequest&) {
            if (!answer) return FileDialogAnswer{};
            return FileDialogAnswer{FileDialogAnswer::Outcome::Chosen, pc.file(*answer)};
        };
    }

    // The document of a reading, as the page sends it back.
    static std::string documentOf(const std::string& reading) {
        nlohmann::json answer = nlohmann::json::parse(reading);
        EXPECT_TRUE(answer.contains("document")) << reading;
        return answer.value("document", nlohmann::json()).dump(-1, ' ', true);
    }

    std::string save(const std::string& request) {
        std::string outcome = saveEditToPDA(*device, request);
        EXPECT_TRUE(device->taskThread.waitIdle(30s));
        return outcome;
    }

    TempDir pc;
    std::optional<std::string> answer;
};

// Read as the editing document and saved back in its place, a route book is the same files;
// under a new name it is a second route book.
TEST_F(EditMethodsTest, ARouteBookSavedBackUnchangedIsTheSameFiles) {
    for (Link how : {Link::Device, Link::Drive}) {
        SCOPED_TRACE(how == Link::Device ? "device" : "drive");
        fresh(how);
        addRouteBook("A", routeBookSet("A", 3000));
        const FileTree before = treeOf(onNavigator());
        const std::string document = documentOf(editRouteBook(*device, "0"));
        EXPECT_EQ(status(save("A\nreplace\n" + document)), "started");
        EXPECT_EQ(pageCalls(), (std::vector<std::string>{progressCall(1, "down"),
                                                         statusCall(TaskStatus::Done)}));
        EXPECT_EQ(treeOf(onNavigator()), before);
        EXPECT_EQ(status(save("B\n\n" + document)), "started");
        EXPECT_EQ(listedNames(), (std::vector<std::string>{"A", "B"}));
        EXPECT_TRUE(treeOf(inTemp()).empty());
    }
}

TEST_F(EditMethodsTest, RefusesWhatItCannotTakeBeforeTouchingTheNavigator) {
    fresh(Link::Device);
    addRouteBook("A", routeBookSet("A"));
    const std::string document = documentOf(editRouteBook(*device, "0"));
    const FileTree before = treeOf(onNavigator());
    struct Case {
        std::string request;
        const char* status;
    } cases[] = {
        {"A\n\n" + document, "present"},
        {"a\n\n" + document, "present"},  // the navigator ignores letter case
        {"B\n\n{\"format\":1}", "refused"},
        {"B\n\n" + document.substr(0, document.size() / 2), "refused"},
        {"B\n" + document, "refused"},
        {"B:C\n\n" + document, "refused"},
        {"B\n\n" + std::string(edit_limits::kDocumentBytes + 1024, ' '), "refused"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(status(save(c.request)), c.status) << c.request.substr(0, 40);
    EXPECT_EQ(treeOf(onNavigator()), before);
    EXPECT_TRUE(pageCalls().empty());
    EXPECT_NE(editRouteBook(*device, "7").find("\"refused\""), std::string::npos);
}

// A package or GPX file opened from the PC: a GPX file becomes the route book its installation
// makes, its name the file's, the points the navigator cannot keep told of.
TEST_F(EditMethodsTest, OpensAPackageOrGpxAndSavesToThePc) {
    fresh(Link::Device);
    writeFileBytes(pc.file("Ride.GPX"),
                   "<?xml version=\"1.0\"?><gpx version=\"1.1\" "
                   "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>"
                   "<trkpt lat=\"30.2\" lon=\"120.1\"/><trkpt lat=\"30.21\" lon=\"120.11\"/>"
                   "<trkpt lat=\"-1\" lon=\"120.2\"/></trkseg></trk></gpx>");
    writeFileBytes(pc.file("page.gpx"), "<html></html>");
    struct Opened {
        std::optional<std::string> file;
        const char* found;  // in the answer
    } opened[] = {
        {"book.zip", "\"name\":\"Inner\""},
        {"Ride.GPX", "\"name\":\"Ride\""},
        {"Ride.GPX", "1 \\u4e2a\\u8f68\\u8ff9\\u70b9"},  // 1 个轨迹点…
        {"page.gpx", "\"refused\""},
        {"none.zip", "\"refused\""},  // not there
        {std::nullopt, "\"cancelled\":true"},
    };
    for (const Opened& o : opened) {
        answer = o.file;
        const std::string reading = editRouteBook(*device, "package");
        EXPECT_NE(reading.find(o.found), std::string::npos) << reading.substr(0, 300);
    }
    EXPECT_TRUE(treeOf(inTemp()).empty());
    answer = "book.zip";
    const std::string document = documentOf(editRouteBook(*device, "package"));
    struct Case {
        std::string request;
        std::optional<std::string> file;
        const char* status;
    } cases[] = {
        {"gpx\n" + document, "ride.gpx", "saved"},
        {"package\n" + document, "copy.zip", "saved"},
        {"package\n" + document, std::nullopt, "cancelled"},
        {"zip\n" + document, "other.zip", "refused"},
    };
    for (const Case& c : cases) {
        answer = c.file;
        EXPECT_EQ(status(saveEditToPC(*device, c.request)), c.status);
    }
    EXPECT_NE(readFileBytes(pc.file("ride.gpx")).find("<trkpt"), std::string::npos);
    EXPECT_EQ(packageInnerName(pc.file("copy.zip")), std::optional<std::string>("copy"));
    EXPECT_FALSE(platform::fileExists(pc.file("other.zip")));
}

}  // namespace
