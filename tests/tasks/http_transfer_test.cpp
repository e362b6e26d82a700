#include "tasks/http_transfer.h"
#include "common/task_status.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "platform/files.h"
#include "support/eventually.h"
#include "support/loopback_server.h"
#include "support/recording_seat.h"
#include "support/temp_dir.h"

namespace {

using Behaviour = LoopbackServer::Behaviour;
using namespace std::chrono_literals;

std::string packageBytes(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    return s;
}

class HttpTransferTest : public ::testing::Test {
  protected:
    void SetUp() override { setRouteBookServer(server.hostPort()); }
    void TearDown() override {
        setRouteBookServer(std::nullopt);
        setTransferTimeouts(60000, 30000);
        setTransferMinimumRate(kMinTransferBytesPerSecond, kMinTransferRateWindowMs);
    }

    LoopbackServer server;
    RecordingSeat seat;
    TempDir dir;
};

struct DownloadCase {
    const char* label;
    LoopbackServer::Route route;
    bool ok;
    std::vector<TaskStatus> codes;
    int stallMs = 30000;
    int rateWindowMs = kMinTransferRateWindowMs;
};

TEST_F(HttpTransferTest, DownloadOutcomes) {
    // A body that trickles in below the rate: 16 bytes every 50 ms.
    LoopbackServer::Route trickle{"", 200, Behaviour::SlowBody};
    trickle.interval = 50ms;
    const std::string small = packageBytes(5000);
    std::vector<DownloadCase> cases = {
        {"plain body", {small}, true, {}},
        {"exactly the limit", {packageBytes(kMaxPackageBytes)}, true, {}},
        {"one byte over the limit",
         {packageBytes(kMaxPackageBytes + 1)},
         false,
         {TaskStatus::DownloadTooLarge}},
        {"error status with a body",
         {"<html>gone</html>", 404},
         false,
         {TaskStatus::DownloadFailed}},
        {"server error", {"oops", 500}, false, {TaskStatus::DownloadFailed}},
        {"dropped mid-body",
         {small, 200, Behaviour::DropMidBody, 1200},
         false,
         {TaskStatus::DownloadFailed}},
        {"silent server", {"", 200, Behaviour::Silent}, false, {TaskStatus::DownloadFailed}, 700},
        {"body trickling below the minimum rate",
         trickle,
         false,
         {TaskStatus::DownloadFailed},
         30000,
         400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        seat.clear();
        setTransferTimeouts(60000, c.stallMs);
        setTransferMinimumRate(kMinTransferBytesPerSecond, c.rateWindowMs);
        server.setRoute("/p.zip", c.route);
        std::string path = dir.file("p.zip");
        EXPECT_EQ(downloadFile(seat, server.url("/p.zip"), path, nullptr), c.ok);
        EXPECT_EQ(seat.statusCodes(), c.codes);
        if (c.ok)
            EXPECT_EQ(readFileBytes(path), c.route.body);
        else
            EXPECT_FALSE(platform::fileExists(path));
    }
}

TEST_F(HttpTransferTest, DownloadArgumentAndLocalFailures) {
    struct Case {
        const char* label;
        std::string url;
        std::string path;
        TaskStatus code;
    } cases[] = {
        {"no url", "", dir.file("a.zip"), TaskStatus::UnknownError},
        {"no path", server.url("/a.zip"), "", TaskStatus::UnknownError},
        {"folder missing", server.url("/a.zip"), dir.file("missing/a.zip"),
         TaskStatus::DownloadFailed},
        {"nobody listening", "http://127.0.0.1:1/a.zip", dir.file("a.zip"),
         TaskStatus::DownloadFailed},
        {"not http", "file:///etc/hostname", dir.file("a.zip"), TaskStatus::DownloadFailed},
    };
    server.serve("/a.zip", "PK");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        seat.clear();
        EXPECT_FALSE(downloadFile(seat, c.url, c.path, nullptr));
        EXPECT_EQ(seat.statusCodes(), std::vector<TaskStatus>{c.code});
    }
    EXPECT_FALSE(platform::fileExists(dir.file("a.zip")));
}

// The terminal's install reads a package from the PC through the download, with its limit and
// codes; only while allowed (the default refusal is the "not http" case above).
TEST_F(HttpTransferTest, LocalPackagesWhileAllowed) {
    const std::string small = dir.file("small.zip");
    const std::string large = dir.file("large.zip");
    writeFileBytes(small, "PK\x03\x04 a package");
    writeFileBytes(large, std::string(static_cast<size_t>(kMaxPackageBytes) + 1, 'x'));
    struct Case {
        const char* label;
        std::string source;
        bool result;
        std::vector<TaskStatus> codes;
    } cases[] = {
        {"a package", small, true, {}},
        {"missing", dir.file("none.zip"), false, {TaskStatus::DownloadFailed}},
        {"over 20 MB", large, false, {TaskStatus::DownloadTooLarge}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        seat.clear();
        const std::string target = dir.file("got.zip");
        EXPECT_EQ(downloadFile(seat, "file://" + c.source, target, nullptr, LocalPackages::Allowed),
                  c.result);
        EXPECT_EQ(seat.statusCodes(), c.codes);
        EXPECT_EQ(platform::fileExists(target), c.result);
        if (c.result) {
            EXPECT_EQ(readFileBytes(target), readFileBytes(c.source));
        }
        platform::deleteFile(target);
    }
    EXPECT_FALSE(downloadFile(seat, "file://" + small, dir.file("got.zip"), nullptr));
}

TEST_F(HttpTransferTest, DownloadAsksForAFreshCopyAsHello) {
    server.serve("/a.zip", "PK");
    ASSERT_TRUE(downloadFile(seat, server.url("/a.zip?x=1&y=2"), dir.file("a.zip"), nullptr));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/a.zip?x=1&y=2");
    EXPECT_EQ(requests[0].header("User-Agent"), "Hello");
    EXPECT_EQ(requests[0].header("Cache-Control"), "no-cache");
}

// A slow endless body, controlled as the page controls a task.
class SlowDownload {
  public:
    SlowDownload(LoopbackServer& server, const std::string& path)
        : control_(stop_, gate_), path_(path) {
        LoopbackServer::Route route;
        route.behaviour = Behaviour::SlowBody;
        route.interval = 10ms;
        server.setRoute("/slow.zip", route);
        result_ = std::async(std::launch::async, [this, url = server.url("/slow.zip")] {
            return downloadFile(seat_, url, path_, &control_);
        });
    }
    int64_t received() const {
        platform::File f(path_, platform::OpenMode::Read);
        return f.size();
    }
    RecordingSeat seat_;
    std::atomic<int> stop_{0};
    PauseGate gate_;
    TaskControl control_;
    std::string path_;
    std::future<bool> result_;
};

TEST_F(HttpTransferTest, StopDuringDownloadAnswersTrueWithThePartReceived) {
    SlowDownload download(server, dir.file("slow.zip"));
    ASSERT_TRUE(eventually([&] { return download.received() > 64; }));
    download.stop_.store(1);
    ASSERT_EQ(download.result_.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(download.result_.get());
    EXPECT_TRUE(seat.statusCodes().empty());
    EXPECT_GT(download.received(), 0);
}

TEST_F(HttpTransferTest, PausedDownloadReceivesNothingUntilContinued) {
    SlowDownload download(server, dir.file("slow.zip"));
    ASSERT_TRUE(eventually([&] { return download.received() > 64; }));
    download.gate_.pause();
    std::this_thread::sleep_for(200ms);  // lets the transfer reach its next checkpoint
    int64_t atPause = download.received();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(download.received(), atPause);
    download.gate_.resume();
    EXPECT_TRUE(eventually([&] { return download.received() > atPause; }));
    download.stop_.store(1);
    EXPECT_TRUE(download.result_.get());
}

TEST_F(HttpTransferTest, PauseLongerThanTheStallTimeDoesNotFailTheTransfer) {
    setTransferTimeouts(5000, 1000);
    SlowDownload download(server, dir.file("slow.zip"));
    ASSERT_TRUE(eventually([&] { return download.received() > 64; }));
    download.gate_.pause();
    std::this_thread::sleep_for(2500ms);
    download.gate_.resume();
    int64_t atResume = download.received();
    EXPECT_TRUE(eventually([&] { return download.received() > atResume + 64; }));
    download.stop_.store(1);
    EXPECT_TRUE(download.result_.get());
    EXPECT_TRUE(seat.statusCodes().empty());
}

struct UploadCase {
    const char* label;
    std::vector<std::string> reply;
    bool ok;
    std::vector<TaskStatus> codes;
    int status = 200;
    std::chrono::milliseconds interval = 100ms;
    int rateWindowMs = kMinTransferRateWindowMs;
};

TEST_F(HttpTransferTest, UploadConfirmation) {
    // A reply that never gets to the point: one byte every 50 ms.
    std::vector<std::string> trickle(200, " ");
    std::vector<UploadCase> cases = {
        {"marker", {"<result><rbid>12</rbid></result>"}, true, {}},
        {"marker split across pieces", {"<result><rb", "id>7</rb", "id></result>"}, true, {}},
        {"marker in a later piece", {"<result>", "<rbid>7</rbid></result>"}, true, {}},
        {"no marker", {"<result>error</result>"}, false, {TaskStatus::UploadFailed}},
        {"empty reply", {""}, false, {TaskStatus::UploadFailed}},
        {"error status whose page holds the marker",
         {"<rbid>3</rbid>"},
         false,
         {TaskStatus::UploadFailed},
         500},
        {"refusal in pieces holding the marker",
         {"<rb", "id>3</rbid>"},
         false,
         {TaskStatus::UploadFailed},
         403},
        {"reply trickling below the minimum rate",
         trickle,
         false,
         {TaskStatus::UploadFailed},
         200,
         50ms,
         400},
    };
    const std::string package = packageBytes(3000);
    writeFileBytes(dir.file("a.zip"), package);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        seat.clear();
        server.setUploadReply(c.reply, c.status, c.interval);
        setTransferMinimumRate(kMinTransferBytesPerSecond, c.rateWindowMs);
        EXPECT_EQ(uploadFile(seat, dir.file("a.zip"), "/up?fname=a%2Ezip", nullptr), c.ok);
        EXPECT_EQ(seat.statusCodes(), c.codes);
    }
}

TEST_F(HttpTransferTest, UploadSendsTheRawPackage) {
    const std::string package = packageBytes(70000);
    writeFileBytes(dir.file("a.zip"), package);
    const std::string object = "/routebook/vantu/upload?uname=%s&verify=%s&fname=%B1%B1%2Ezip";
    ASSERT_TRUE(uploadFile(seat, dir.file("a.zip"), object, nullptr));
    auto uploads = server.uploads();
    ASSERT_EQ(uploads.size(), 1u);
    const auto& up = uploads[0];
    EXPECT_EQ(up.target, object);
    EXPECT_EQ(up.body, package);
    EXPECT_EQ(up.header("User-Agent"), "CEHTTP");
    EXPECT_EQ(up.header("Accept"), "*/*");
    EXPECT_FALSE(up.hasHeader("Content-Type"));
    EXPECT_FALSE(up.hasHeader("Expect"));
}

TEST_F(HttpTransferTest, UploadRefusals) {
    writeFileBytes(dir.file("empty.zip"), "");
    writeFileBytes(dir.file("limit.zip"), packageBytes(kMaxPackageBytes));
    writeFileBytes(dir.file("over.zip"), packageBytes(kMaxPackageBytes + 1));
    writeFileBytes(dir.file("a.zip"), "PK");
    struct Case {
        const char* label;
        std::string path;
        std::string object;
        bool ok;
        std::vector<TaskStatus> codes;
    } cases[] = {
        {"exactly the limit", dir.file("limit.zip"), "/up", true, {}},
        {"one byte over", dir.file("over.zip"), "/up", false, {TaskStatus::UploadTooLarge}},
        {"empty file", dir.file("empty.zip"), "/up", false, {TaskStatus::UnknownError}},
        {"missing file", dir.file("none.zip"), "/up", false, {TaskStatus::UnknownError}},
        {"a folder", dir.path(), "/up", false, {TaskStatus::UnknownError}},
        {"no object name", dir.file("a.zip"), "", false, {TaskStatus::UnknownError}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        seat.clear();
        EXPECT_EQ(uploadFile(seat, c.path, c.object, nullptr), c.ok);
        EXPECT_EQ(seat.statusCodes(), c.codes);
    }
    EXPECT_EQ(server.uploads().size(), 1u);
}

TEST_F(HttpTransferTest, UploadWithoutServerPostsCode5) {
    writeFileBytes(dir.file("a.zip"), "PK");
    setRouteBookServer("127.0.0.1:1");
    EXPECT_FALSE(uploadFile(seat, dir.file("a.zip"), "/up", nullptr));
    EXPECT_EQ(seat.statusCodes(), std::vector<TaskStatus>{TaskStatus::UploadFailed});
}

TEST(UrlEncode, Bytes) {
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"a.zip", "a%2Ezip"},
        {"Az09", "Az09"},
        {"a b\tc\r\nd\v\f", "a+b+c++d++"},
        {"-_.~+/=&%", "%2D%5F%2E%7E%2B%2F%3D%26%25"},
        {"\xC4\xE3", "%C4%E3"},
        {"\xB1\xB1\xBE\xA9.zip", "%B1%B1%BE%A9%2Ezip"},
        {std::string("a\0b", 3), "a%00b"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(urlEncode(c.in), c.out) << c.in;
}

}  // namespace
