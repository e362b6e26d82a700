#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <chrono>
#include <thread>

#include "platform/digest.h"
#include "platform/files.h"
#include "support/loopback_server.h"
#include "support/program_stub.h"
#include "support/temp_dir.h"
#include "support/update_keys.h"

namespace {

using namespace std::chrono_literals;

size_t lineCount(const std::string& text) {
    size_t n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

TEST(UpdateHandover, PublishedVersionReplacesTheRunningOne) {
    std::string version1 = readFileBytes(buildTreeFile(VANTU_HANDOVER_V1));
    std::string version2 = readFileBytes(buildTreeFile(VANTU_HANDOVER_V2));
    ASSERT_FALSE(version1.empty());
    ASSERT_NE(platform::md5Hex(version1), platform::md5Hex(version2));

    TempDir dir;
    const std::string x = kProgramSuffix;
    std::string program = dir.file("vantu" + x);
    std::string log = dir.file("log");
    writeExecutable(program, version1);
#ifndef _WIN32
    chmod(program.c_str(), 0750);
#endif

    LoopbackServer server;
    const std::string manifestPath = "/vantu3/update/update.xml";
    std::string digest = platform::md5Hex(version2);
    server.serve("/vantu2", version2);
    server.serve(manifestPath,
                 "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<do><program>"
                 "<check><path>vantu</path><md5>" +
                     digest +
                     "</md5></check>"
                     "<download><url>" +
                     server.url("/vantu2") + "</url><md5>" + digest + "</md5><signature>" +
                     signatureOf(version2) +
                     "</signature></download><run/><exit/></program></do>\n");

    ProgramId first = spawnProgram(
        program, {},
        {"VANTU_HANDOVER_LOG=" + log, "VANTU_HANDOVER_MANIFEST=" + server.url(manifestPath),
         std::string("VANTU_HANDOVER_KEY=") + kUpdateKeyPoint});
    ASSERT_GT(first, 0);
    EXPECT_EQ(waitForProgram(first), 0);

    // Version 1 has ended; the copy and the restarted program run on their own.
    auto giveUp = std::chrono::steady_clock::now() + 60s;
    while (lineCount(readFileBytes(log)) < 6 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(20ms);

    // The copy is done only after version 1 has closed, the restarted program only after the
    // copy has closed.
    EXPECT_EQ(readFileBytes(log), "1 vantu" + x + " asked\n" +       //
                                      "1 vantu" + x + " 3\n" +       //
                                      "1 vantu" + x + " closed\n" +  //
                                      "2 vantu_update" + x + " 3\n" + "2 vantu_update" + x +
                                      " closed\n" +  //
                                      "2 vantu" + x + " 1\n");
    EXPECT_TRUE(readFileBytes(program) == version2) << "the program file is version 2";
#ifndef _WIN32
    EXPECT_EQ(fileMode(program), 0750);
#endif
    EXPECT_FALSE(platform::fileExists(dir.file("vantu_update" + x)));
    auto entries = platform::listFolder(dir.path());
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 2u) << "only the program and the log are left";
    EXPECT_EQ(server.requestCount(manifestPath), 2);
    EXPECT_EQ(server.requestCount("/vantu2"), 1);
}

}  // namespace
