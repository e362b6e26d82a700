#include "update/update_check.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "platform/digest.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "support/eventually.h"
#include "support/loopback_server.h"
#include "support/program_stub.h"
#include "support/recording_seat.h"
#include "support/temp_dir.h"
#include "support/update_keys.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kManifestPath = "/vantu3/update/update.xml";

TEST(UpdateNaming, UpdaterCopyAndMainProgramPaths) {
    struct Case {
        ProgramNaming naming;
        const char* program;
        const char* updater;
        const char* mainOfProgram;  // "" when the program is not an updater copy
    };
    const Case cases[] = {
        {ProgramNaming::Windows, "C:\\Vantu\\vantu.exe", "C:\\Vantu\\vantu_update.exe", ""},
        {ProgramNaming::Windows, "C:\\v.1\\vantu", "C:\\v.1\\vantu_update.exe", ""},
        {ProgramNaming::Windows, "C:\\Vantu\\vantu_update.exe",
         "C:\\Vantu\\vantu_update_update.exe", "C:\\Vantu\\vantu.exe"},
        {ProgramNaming::Windows, "C:\\Vantu\\VANTU_UPDATE.EXE",
         "C:\\Vantu\\VANTU_UPDATE_update.exe", "C:\\Vantu\\VANTU.exe"},
        {ProgramNaming::Windows, "C:\\Vantu\\vantu_update", "C:\\Vantu\\vantu_update_update.exe",
         ""},
        {ProgramNaming::Posix, "/opt/vantu/vantu", "/opt/vantu/vantu_update", ""},
        {ProgramNaming::Posix, "/opt/v.1/vantu", "/opt/v.1/vantu_update", ""},
        {ProgramNaming::Posix, "/opt/vantu/vantu_update", "/opt/vantu/vantu_update_update",
         "/opt/vantu/vantu"},
        {ProgramNaming::Posix, "/opt/vantu/vantu_UpDate", "/opt/vantu/vantu_UpDate_update",
         "/opt/vantu/vantu"},
        {ProgramNaming::Posix, "/opt/vantu/vantu_update.exe", "/opt/vantu/vantu_update.exe_update",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        EXPECT_EQ(updaterPathFor(c.program, c.naming), c.updater);
        EXPECT_EQ(mainPathForUpdater(c.program, c.naming), c.mainOfProgram);
    }
}

// How a case's manifest reaches the program; NoAddress: the build has no manifest address.
enum class Source { Served, NotFound, Unreachable, NoAddress };
// What is left at the updater copy's path after the checks.
enum class Copy { None, Whole };

struct ScriptCase {
    const char* name;
    // $SELF: the program file's digest, $SELF_UPPER the same in capitals, $OTHER another
    // digest, $NEW the new program's digest, $SIGNED its signature element, $URL its address,
    // $BROKEN an address that answers 404 and $CUT one whose transfer breaks off.
    const char* manifest;
    bool answer = false;
    int checks = 1;
    UpdateResult result = UpdateResult::GoOn;  // of the last check
    int questions = 0;
    Copy copy = Copy::None;
    bool started = false;  // the new program ran
    Source source = Source::Served;
    bool leftoverCopy = false;  // a copy from the last update is in place before the checks
};

std::string substituted(std::string text,
                        const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& [key, value] : values) {
        for (size_t at = text.find(key); at != std::string::npos;
             at = text.find(key, at + value.size()))
            text.replace(at, key.size(), value);
    }
    return text;
}

class UpdateScriptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        writeFileBytes(program, "the running program, version 1");
        seat.answerQuestion = [this](const std::string& text, const std::string& title) {
            ++questions;
            lastText = text;
            lastTitle = title;
            return answer;
        };
    }
    // An update check asking through the seat, as the window's check does.
    Updater updaterFor(const std::string& programFile, const std::string& manifestUrl) {
        Updater updater(programFile, manifestUrl, kUpdateKeyPoint);
        updater.setAsk([this](const std::string& text, const std::string& title) {
            return seat.ask(text, title);
        });
        return updater;
    }

    RecordingSeat seat;

    // A download block of the new program at `url`, signed with the update key.
    std::string download(const std::string& url) const {
        return "<download><url>" + url + "</url><signature>" + newSignature +
               "</signature></download>";
    }

    TempDir dir;
    LoopbackServer server;
    std::string program = dir.file(std::string("vantu") + kProgramSuffix);
    std::string marker = dir.file("started");
    std::string newProgram = markerScript(marker);
    std::string newSignature = signatureOf(newProgram);
    bool answer = false;
    int questions = 0;
    std::string lastText;
    std::string lastTitle;
};

TEST_F(UpdateScriptTest, ManifestCommandsRunInOrder) {
    const ScriptCase cases[] = {
        {.name = "equal digests: up to date, nothing asked",
         .manifest = "<do><b><check><path>p</path><md5>$SELF</md5></check>"
                     "<download><url>$URL</url>$SIGNED</download><run/><exit/></b></do>",
         .answer = true},
        {.name = "a digest in capitals never matches",
         .manifest = "<do><b><check><path>p</path><md5>$SELF_UPPER</md5></check>"
                     "<download><url>$URL</url>$SIGNED</download></b></do>",
         .questions = 1},
        {.name = "without check the question comes at every check",
         .manifest = "<do><b><download><url>$URL</url>$SIGNED</download></b></do>",
         .checks = 3,
         .questions = 3},
        {.name = "new version: download, run, exit",
         .manifest =
             "<do><b><check><path>p</path><md5>$OTHER</md5></check>"
             "<download><url>$URL</url><md5>$NEW</md5>$SIGNED</download><run/><exit/></b></do>",
         .answer = true,
         .result = UpdateResult::Close,
         .questions = 1,
         .copy = Copy::Whole,
         .started = true},
        {.name = "declined: nothing downloaded, started or closed",
         .manifest = "<do><b><download><url>$URL</url>$SIGNED</download><run/><exit/></b></do>",
         .questions = 1},
        {.name = "exit before run closes without starting the copy",
         .manifest = "<do><b><download><url>$URL</url>$SIGNED</download><exit/><run/></b></do>",
         .answer = true,
         .result = UpdateResult::Close,
         .questions = 1,
         .copy = Copy::Whole},
        {.name = "run without download starts nothing: the last copy is deleted first",
         .manifest = "<do><b><run/></b></do>",
         .leftoverCopy = true},
        {.name = "check without path ends its block",
         .manifest = "<do><b><check><md5>$OTHER</md5></check>"
                     "<download><url>$URL</url>$SIGNED</download></b></do>"},
        {.name = "a parameter without text is missing",
         .manifest = "<do><b><check><path></path><md5>$OTHER</md5></check>"
                     "<download><url>$URL</url>$SIGNED</download></b>"
                     "<b><download><url/></download><exit/></b></do>"},
        {.name = "check without md5 ends its block",
         .manifest = "<do><b><check><path>p</path></check>"
                     "<download><url>$URL</url>$SIGNED</download></b></do>"},
        {.name = "a block that ends early does not stop the next ones",
         .manifest = "<do><a><check><md5>$OTHER</md5></check><exit/></a>"
                     "<b><download><url>$URL</url>$SIGNED</download><exit/></b>"
                     "<c><download><url>$URL</url>$SIGNED</download></c><d><exit/></d></do>",
         .result = UpdateResult::Close,
         .questions = 2},
        {.name = "unknown commands and block names are passed over",
         .manifest = "<do><anything><hello/><download><url>$URL</url>$SIGNED</download><bye>x</bye>"
                     "<exit/></anything></do>",
         .answer = true,
         .result = UpdateResult::Close,
         .questions = 1,
         .copy = Copy::Whole},
        {.name = "a download that fails its digest ends the block and is deleted",
         .manifest =
             "<do><b><download><url>$URL</url><md5>$OTHER</md5>$SIGNED</download><run/><exit/></b>"
             "</do>",
         .answer = true,
         .questions = 1},
        {.name = "a download that fails its digest is not started by a later block",
         .manifest = "<do><a><download><url>$URL</url><md5>$OTHER</md5>$SIGNED</download></a>"
                     "<b><run/><exit/></b></do>",
         .answer = true,
         .result = UpdateResult::Close,
         .questions = 1},
        {.name = "a broken-off download is not started by a later block",
         .manifest =
             "<do><a><download><url>$CUT</url>$SIGNED</download></a><b><run/><exit/></b></do>",
         .answer = true,
         .result = UpdateResult::Close,
         .questions = 1},
        {.name = "a verified copy is no longer started once a later download failed",
         .manifest = "<do><a><download><url>$URL</url><md5>$NEW</md5>$SIGNED</download></a>"
                     "<b><download><url>$CUT</url>$SIGNED</download></b><c><run/><exit/></c></do>",
         .answer = true,
         .result = UpdateResult::Close,
         .questions = 2},
        {.name = "an error page is not a program",
         .manifest = "<do><b><download><url>$BROKEN</url>$SIGNED</download><run/><exit/></b></do>",
         .answer = true,
         .questions = 1},
        {.name = "a broken-off download ends the block and leaves nothing",
         .manifest = "<do><b><download><url>$CUT</url>$SIGNED</download><run/><exit/></b></do>",
         .answer = true,
         .questions = 1},
        {.name = "the first top-level do counts",
         .manifest = "<x/><do><b><exit/></b></do>",
         .result = UpdateResult::Close},
        {.name = "another root element", .manifest = "<update><b><exit/></b></update>"},
        {.name = "a manifest nested 40,000 deep is refused whole",
         .manifest = "<do><b><exit/>$DEEP</b></do>"},
        {.name = "empty manifest", .manifest = ""},
        {.name = "not XML", .manifest = "exit"},
        {.name = "manifest missing (404)",
         .manifest = "<do><b><exit/></b></do>",
         .source = Source::NotFound},
        {.name = "server unreachable",
         .manifest = "<do><b><exit/></b></do>",
         .source = Source::Unreachable},
        {.name = "no address: nothing fetched, the last copy still deleted",
         .manifest = "<do><b><exit/></b></do>",
         .source = Source::NoAddress,
         .leftoverCopy = true},
    };

    std::string self = platform::md5HexOfFile(program);
    std::string selfUpper = self;
    std::transform(selfUpper.begin(), selfUpper.end(), selfUpper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    ASSERT_NE(self, selfUpper);
    server.serve("/new", newProgram);
    server.serve("/broken", newProgram, 404);
    server.serve("/cut", newProgram, 200, 10);
    LoopbackServer closed;
    closed.stop();
    std::string deep;
    for (int i = 0; i < 40000; ++i)
        deep += "<a>";

    for (const ScriptCase& c : cases) {
        SCOPED_TRACE(c.name);
        Updater updater =
            updaterFor(program, c.source == Source::Unreachable ? closed.url(kManifestPath)
                                : c.source == Source::NoAddress ? ""
                                                                : server.url(kManifestPath));
        int requestsBefore = server.requestCount(kManifestPath);
        std::string manifest =
            substituted(c.manifest, {{"$SELF_UPPER", selfUpper},
                                     {"$SELF", self},
                                     {"$OTHER", "0123456789abcdef0123456789abcdef"},
                                     {"$NEW", platform::md5Hex(newProgram)},
                                     {"$SIGNED", "<signature>" + newSignature + "</signature>"},
                                     {"$URL", server.url("/new")},
                                     {"$BROKEN", server.url("/broken")},
                                     {"$CUT", server.url("/cut")},
                                     {"$DEEP", deep}});
        server.serve(kManifestPath, manifest, c.source == Source::NotFound ? 404 : 200);
        platform::deleteFile(updater.updaterPath());
        platform::deleteFile(marker);
        if (c.leftoverCopy) writeExecutable(updater.updaterPath(), newProgram);
        answer = c.answer;
        questions = 0;

        UpdateResult result = UpdateResult::UpToDate;
        for (int i = 0; i < c.checks; ++i)
            result = updater.checkForUpdate();

        EXPECT_EQ(result, c.result);
        EXPECT_EQ(questions, c.questions);
        if (c.source == Source::NoAddress) {
            EXPECT_EQ(server.requestCount(kManifestPath), requestsBefore);
        }
        std::string copy;
        bool copyExists = platform::readWholeFile(updater.updaterPath(), copy);
        EXPECT_EQ(copyExists, c.copy != Copy::None);
        if (c.copy != Copy::None) {
            EXPECT_EQ(copy, newProgram);
        }
        // A started copy writes its line at once; where a wrongly started one could appear, it
        // gets a moment to show itself.
        bool mayRun = std::string_view(c.manifest).find("<run/>") != std::string_view::npos;
        EXPECT_EQ(waitForFile(marker, c.started ? 10s : mayRun ? 300ms : 0ms), c.started);
        if (c.started) {
            std::this_thread::sleep_for(100ms);
            EXPECT_EQ(readFileBytes(marker), "started\n");
        }
    }
}

// The update server offers a program signed with the update key, one changed after signing,
// one without a signature and one signed with another key: only the first is ever started.
TEST_F(UpdateScriptTest, OnlyAProgramSignedWithTheUpdateKeyIsStarted) {
    std::string tampered = newProgram;
    tampered[tampered.size() / 2] ^= 1;
    const struct {
        const char* name;
        std::string served;
        std::string signatureElement;
        bool asked;
        const char* logged;  // the end of the log line; empty for none
    } cases[] = {
        {"signed with the update key", newProgram, "<signature>" + newSignature + "</signature>",
         true, ""},
        {"changed after signing", tampered, "<signature>" + newSignature + "</signature>", true,
         "was deleted: its signature is not one by the update key"},
        {"unsigned", newProgram, "", false, "is not offered: it has no signature"},
        {"signed with another key", newProgram,
         "<signature>" + signatureOf(newProgram, kOtherKeyPem) + "</signature>", true,
         "was deleted: its signature is not one by the update key"},
    };
    answer = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.serve("/new", c.served);
        server.serve(kManifestPath, "<do><b><download><url>" + server.url("/new") + "</url>" +
                                        c.signatureElement + "</download><run/><exit/></b></do>");
        // The last case's copy may still run (and hold the marker open) on a slow machine.
        waitAndDelete(updaterPathFor(program));
        waitAndDelete(marker);
        questions = 0;
        std::vector<std::string> log;
        platform::setLogHandler([&log](std::string_view line) { log.emplace_back(line); });
        Updater updater = updaterFor(program, server.url(kManifestPath));
        bool started = *c.logged == '\0';
        // A refused copy ends its block: the program does not close either.
        EXPECT_EQ(updater.checkForUpdate(), started ? UpdateResult::Close : UpdateResult::GoOn);
        platform::setLogHandler(nullptr);
        EXPECT_EQ(questions, c.asked ? 1 : 0);
        EXPECT_EQ(platform::fileExists(updater.updaterPath()), started);
        EXPECT_EQ(waitForFile(marker, started ? 10s : 300ms), started);
        std::vector<std::string> expected;
        if (!started)
            expected.push_back("update: the new program from " + server.url("/new") + " " +
                               c.logged);
        EXPECT_EQ(log, expected);
    }
}

TEST_F(UpdateScriptTest, TheQuestionIsExactAndTheDownloadCanBeStarted) {
    server.serve("/new", newProgram);
    server.serve(kManifestPath, "<do><b>" + download(server.url("/new")) + "</b></do>");
    answer = true;
    Updater updater = updaterFor(program, server.url(kManifestPath));
    EXPECT_EQ(updater.checkForUpdate(), UpdateResult::GoOn);
    EXPECT_EQ(lastText, platform::utf8ToAnsi("   发现新版本，您希望现在更新吗？  "));
    EXPECT_EQ(lastTitle, platform::utf8ToAnsi("在线更新"));
#ifndef _WIN32
    EXPECT_EQ(fileMode(updater.updaterPath()) & 0111, 0111);
#endif
}

TEST_F(UpdateScriptTest, ACheckFromInsideTheQuestionBoxDoesNothing) {
    server.serve("/new", newProgram);
    server.serve(kManifestPath, "<do><b>" + download(server.url("/new")) + "<exit/></b></do>");
    Updater updater = updaterFor(program, server.url(kManifestPath));
    UpdateResult inner = UpdateResult::UpToDate;
    seat.answerQuestion = [&](const std::string&, const std::string&) {
        ++questions;
        inner = updater.checkForUpdate();
        return true;
    };
    EXPECT_EQ(updater.checkForUpdate(), UpdateResult::Close);
    EXPECT_EQ(inner, UpdateResult::GoOn);
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(server.requestCount(kManifestPath), 1);
}

TEST_F(UpdateScriptTest, AProgramInAFolderItCannotWriteIsNotOfferedTheUpdateAndTheLogSaysWhyOnce) {
    server.serve("/new", newProgram);
    server.serve(kManifestPath,
                 "<do><b>" + download(server.url("/new")) + "<run/><exit/></b></do>");
    std::vector<std::string> log;
    platform::setLogHandler([&log](std::string_view line) { log.emplace_back(line); });
    // A folder that does not exist stands for one the user may not write: root may write in
    // any that exists.
    std::string folder = dir.file("protected");
    Updater updater = updaterFor(platform::joinPath(folder, "vantu"), server.url(kManifestPath));
    answer = true;
    for (int check = 0; check < 3; ++check)
        EXPECT_EQ(updater.checkForUpdate(), UpdateResult::GoOn);
    platform::setLogHandler(nullptr);
    EXPECT_EQ(questions, 0);
    EXPECT_EQ(server.requestCount("/new"), 0);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find(folder), std::string::npos) << log[0];
}

// Plays the window's thread: hands the check's messages to it until it reports its result.
// Answers that result, or -1 when none came.
int runWindowLoop(BackgroundUpdate& update, RecordingSeat& seat, bool* closeNow = nullptr) {
    size_t handled = 0;
    int result = -1;
    eventually([&] {
        std::vector<TaskEvent> events = seat.events();
        for (; handled < events.size(); ++handled) {
            bool close = false;
            if (!update.handleEvent(events[handled], close)) continue;
            if (events[handled].kind != TaskEvent::Kind::UpdateQuestion) {
                result = static_cast<int>(close ? UpdateResult::Close : UpdateResult::GoOn);
                if (closeNow) *closeNow = close;
            }
        }
        return result != -1;
    });
    return result;
}

TEST_F(UpdateScriptTest, TheCheckNeverHoldsTheWindowAndEndsWithinItsLimits) {
    LoopbackServer::Route silent{"", 200, LoopbackServer::Behaviour::Silent};
    LoopbackServer::Route trickle{"", 200, LoopbackServer::Behaviour::SlowBody};
    trickle.interval = 50ms;  // 16 bytes each time: 320 bytes a second
    server.setRoute("/trickle", trickle);
    server.serve("/new", newProgram);
    const std::string handOver = "<do><b>" + download("$URL") + "<run/><exit/></b></do>";
    struct Case {
        const char* name;
        std::optional<LoopbackServer::Route> manifestRoute;  // else the manifest below
        std::string manifest;
        std::string programUrl;
        int64_t maxProgramBytes;
        int result;
        bool asked;
        bool started;
    } cases[] = {
        {"silent manifest server", silent, "", "", 0, 1, false, false},
        {"manifest trickling without end", trickle, "", "", 0, 1, false, false},
        {"program trickling below the minimum rate", std::nullopt, handOver, server.url("/trickle"),
         0, 1, true, false},
        {"program larger than the cap", std::nullopt, handOver, server.url("/new"),
         static_cast<int64_t>(newProgram.size()) - 1, 1, true, false},
        {"program exactly at the cap hands over", std::nullopt, handOver, server.url("/new"),
         static_cast<int64_t>(newProgram.size()), 3, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.manifestRoute)
            server.setRoute(kManifestPath, *c.manifestRoute);
        else
            server.serve(kManifestPath, substituted(c.manifest, {{"$URL", c.programUrl}}));
        platform::deleteFile(marker);
        // Short limits only where a case is about them: a loaded machine may be slow elsewhere.
        UpdateLimits limits;
        if (c.manifestRoute) limits.manifest.deadline = 400ms;
        if (c.programUrl == server.url("/trickle")) {
            limits.program.minBytesPerSecond = 1024;
            limits.program.rateWindow = 300ms;
        }
        if (c.maxProgramBytes > 0) limits.program.maxBytes = c.maxProgramBytes;
        answer = true;
        questions = 0;
        seat.clear();
        BackgroundUpdate update(program, server.url(kManifestPath), kUpdateKeyPoint, seat, limits);

        ASSERT_TRUE(update.start());
        // The server has not answered yet, and the window goes on.
        EXPECT_TRUE(update.running());
        EXPECT_FALSE(update.start());
        bool closeNow = false;
        EXPECT_EQ(runWindowLoop(update, seat, &closeNow), c.result);
        EXPECT_EQ(closeNow, c.result == 3);
        EXPECT_EQ(questions, c.asked ? 1 : 0);
        EXPECT_EQ(platform::fileExists(updaterPathFor(program)), c.started);
        EXPECT_EQ(waitForFile(marker, c.started ? 10s : 0ms), c.started);
    }
}

TEST_F(UpdateScriptTest, ClosingTheWindowEndsARunningCheck) {
    server.serve("/new", newProgram);
    struct Case {
        const char* name;
        std::string manifest;  // empty: a silent server
        bool waitForQuestion;
    } cases[] = {
        {"while the manifest does not come", "", false},
        {"while the question waits for its answer",
         "<do><b>" + download(server.url("/new")) + "<run/><exit/></b></do>", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.manifest.empty())
            server.setRoute(kManifestPath, {"", 200, LoopbackServer::Behaviour::Silent});
        else
            server.serve(kManifestPath, c.manifest);
        questions = 0;
        seat.clear();
        {
            BackgroundUpdate update(program, server.url(kManifestPath), kUpdateKeyPoint, seat);
            ASSERT_TRUE(update.start());
            if (c.waitForQuestion) {
                ASSERT_TRUE(eventually([&] {
                    auto events = seat.events();
                    return !events.empty() && events[0].kind == TaskEvent::Kind::UpdateQuestion;
                }));
            } else {
                ASSERT_TRUE(eventually([&] { return server.requestCount(kManifestPath) > 0; }));
            }
        }
        // The check has ended without an answer: nothing was asked, fetched or started.
        EXPECT_EQ(questions, 0);
        EXPECT_EQ(server.requestCount("/new"), 0);
        EXPECT_FALSE(platform::fileExists(updaterPathFor(program)));
        server.setRoute(kManifestPath, {});
    }
}

TEST(UpdateLimits, AManifestOverHttpsKeepsTheProgramOnHttps) {
    struct Case {
        const char* manifest;
        bool httpsOnly;
    } cases[] = {
        {"https://update.example/vantu3/update/update.xml", true},
        {"HTTPS://update.example/vantu3/update/update.xml", true},
        {"http://update.example/vantu3/update/update.xml", false},
        {"httpx://update.example/", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.manifest);
        EXPECT_EQ(programLimitsFor(c.manifest, programFetchLimits()).httpsOnly, c.httpsOnly);
    }
    FetchLimits already = programFetchLimits();
    already.httpsOnly = true;
    EXPECT_TRUE(programLimitsFor("http://update.example/", already).httpsOnly);
}

TEST(UpdaterRole, CopyReplacesTheMainProgramAndStartsIt) {
    struct Case {
        const char* name;
        const char* copyName;
        bool mainExists;
        bool copyReadable;
        int expectedMode;  // of the main program afterwards
    };
    const Case cases[] = {
        {"replaces the main program, keeping its permissions", "vantu_update", true, true, 0750},
        {"letter case of the ending is ignored", "vantu_UPDATE", true, true, 0750},
        {"a missing main program is created with the copy's permissions", "vantu_update", false,
         true, 0755},
        {"a failed replacement keeps the old program and still starts it", "vantu_update", true,
         false, 0750},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string mainPath = dir.file(std::string("vantu") + kProgramSuffix);
        std::string copyPath = dir.file(c.copyName + std::string(kProgramSuffix));
        std::string oldProgram = markerScript(dir.file("old started"));
        std::string newProgram = markerScript(dir.file("new started"));
        if (c.mainExists) {
            writeExecutable(mainPath, oldProgram);
#ifndef _WIN32
            chmod(mainPath.c_str(), 0750);
#endif
        }
        if (c.copyReadable) writeExecutable(copyPath, newProgram);

        // Without an address: the copy hands over all the same.
        Updater updater(copyPath, "", "");
        EXPECT_EQ(updater.checkForUpdate(), UpdateResult::Close);

        bool replaced = c.copyReadable;
        EXPECT_EQ(readFileBytes(mainPath), replaced ? newProgram : oldProgram);
#ifndef _WIN32
        EXPECT_EQ(fileMode(mainPath), c.expectedMode);
#endif
        EXPECT_TRUE(waitForFile(dir.file(replaced ? "new started" : "old started"), 10s));
        // Nothing but the two programs and what they wrote.
        auto entries = platform::listFolder(dir.path());
        ASSERT_TRUE(entries);
        EXPECT_EQ(entries->size(), c.copyReadable ? 3u : 2u);
    }
}

TEST(FileWait, AFileThatStaysBusyIsGivenUpOnAfterTheLimit) {
    TempDir dir;
    std::string busy = dir.file(std::string("busy") + kProgramSuffix);
    writeExecutable(busy, sleeperProgram());
    ProgramId longRun = spawnProgram(busy, {"30"});
    ASSERT_GT(longRun, 0);
    auto start = std::chrono::steady_clock::now();
    waitUntilFree(busy, 400ms);
    auto waited = std::chrono::steady_clock::now() - start;
    killProgram(longRun);
    EXPECT_GE(waited, 400ms);
    EXPECT_LT(waited, 15s);
    EXPECT_TRUE(platform::fileExists(busy));
}

}  // namespace
