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

TEST_F(EditMethodsTest, OpensAPackageAndSavesToThePc) {
    fresh(Link::Device);
    answer = "book.zip";
    const std::string document = documentOf(editRouteBook(*device, "package"));
    EXPECT_NE(document.find("\"name\":\"Inner\""), std::string::npos) << document.substr(0, 200);
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
