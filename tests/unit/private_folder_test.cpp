#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file_info.h"
#include "platform/file_ops.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/environment.h"
#include "support/os_faults.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include "platform/win32/syscalls_win32.h"
#else
#include <sys/stat.h>

#include <cerrno>

#include <sys/wait.h>
#include <unistd.h>
#include "platform/posix/syscalls_posix.h"
#endif

namespace {

#ifdef _WIN32
// A real folder, not a link to one elsewhere. (Its access list, the user's alone, is not kept by
// wine, on which these tests run.)
bool isClosedFolderOfOurs(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}
#else
bool isClosedFolderOfOurs(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 0777) == 0700;
}
#endif

TEST(PrivateFolder, MadeFreshUnderItsParentOrNotAtAll) {
    TempDir temp;
    writeFileBytes(temp.file("a file"), "x");
    // The fixed name the program's folder used to have, taken by someone else's folder.
    ASSERT_TRUE(platform::createFolder(temp.file("vantu")));
#ifndef _WIN32
    chmod(temp.file("vantu").c_str(), 0777);
#endif

    struct Case {
        const char* name;
        std::string parent;
        bool made;
    } cases[] = {
        {"under the parent", temp.path(), true},
        {"parent without a final separator", temp.path().substr(0, temp.path().size() - 1), true},
        {"missing parent", temp.file("missing/"), false},
        {"a file as parent", temp.file("a file"), false},
        {"no parent", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string first = platform::createPrivateFolder(c.parent);
        std::string second = platform::createPrivateFolder(c.parent);
        if (!c.made) {
            EXPECT_EQ(first, "");
            continue;
        }
        ASSERT_FALSE(first.empty());
        EXPECT_EQ(first.back(), platform::kPathSeparator);
        EXPECT_EQ(first.rfind(temp.path(), 0), 0u);
        EXPECT_NE(first, second);
        EXPECT_TRUE(isClosedFolderOfOurs(first));
        EXPECT_TRUE(isClosedFolderOfOurs(second));
        EXPECT_NE(first, temp.file("vantu/"));
        EXPECT_TRUE(platform::removeTree(first));
        EXPECT_TRUE(platform::removeTree(second));
    }
}

#ifdef _WIN32
constexpr unsigned long kRefused = ERROR_ACCESS_DENIED;
BOOL WINAPI refuseFolder(LPCSTR, LPSECURITY_ATTRIBUTES) {
    SetLastError(kRefused);
    return FALSE;
}
#else
constexpr unsigned long kRefused = EACCES;
char* refuseFolder(char*) {
    errno = kRefused;
    return nullptr;
}
#endif

TEST(PrivateFolder, ARefusedCreationMakesNothingAndHandsOverItsCause) {
    TempDir temp;
    platform::OsError error;
    {
#ifdef _WIN32
        test::ScopedSyscall refused(platform::win32::syscalls().createDirectory, &refuseFolder);
#else
        test::ScopedSyscall refused(platform::posix::syscalls().mkdtemp, &refuseFolder);
#endif
        EXPECT_EQ(platform::createPrivateFolder(temp.path(), &error), "");
    }
    EXPECT_TRUE(platform::listFolder(temp.path())->empty());
    EXPECT_EQ(error.operation, "create folder");
    EXPECT_EQ(error.path.rfind(temp.file("vantu-"), 0), 0u) << error.path;
    EXPECT_EQ(error.code, static_cast<unsigned long>(kRefused));
}

TEST(PrivateFolder, TheRunsFolderIsClosedStaysAndIsMadeAgainWhenRemoved) {
    std::string folder = platform::privateFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(isClosedFolderOfOurs(folder));
    EXPECT_EQ(platform::privateFolder(), folder);
    EXPECT_EQ(platform::privateFile("lushu.tmp"), folder + "lushu.tmp");
#ifdef _WIN32
    // Held open for as long as the run lives: a clean-up of the temporary folder cannot take it.
    EXPECT_FALSE(platform::removeTree(folder));
    EXPECT_EQ(platform::privateFolder(), folder);
#else
    // Swept away by a clean-up of the temporary folder: the next file still finds a folder.
    ASSERT_TRUE(platform::removeTree(folder));
    std::string again = platform::privateFolder();
    ASSERT_FALSE(again.empty());
    EXPECT_TRUE(isClosedFolderOfOurs(again));
#endif
}

#ifdef _WIN32
// Runs PrivateFolder.ChildFillsItsOwnFolder in a child copy of this test program: a new run,
// which makes and fills a folder of its own. The folder it named; empty when it could not.
std::string runChild() {
    TempDir dir;
    std::string report = dir.file("report");
    char program[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, program, MAX_PATH) == 0) return {};
    std::string command =
        std::string("\"") + program + "\" --gtest_filter=PrivateFolder.ChildFillsItsOwnFolder";
    ScopedEnv child("VANTU_TEST_PRIVATE_FOLDER_REPORT", report.c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
        return {};
    WaitForSingleObject(started.hProcess, 60000);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return readFileBytes(report);
}
#endif

// Another run of the program, with its folder in the temporary folder, alive until the object
// goes.
#ifdef _WIN32
// Its folder, held as a run holds its own.
class LiveRun {
  public:
    LiveRun() {
        folder = platform::joinPath(platform::tempFolder(),
                                    std::string(platform::kRunFolderPrefix) + "livelive00");
        platform::createFolder(folder);
        held_ = CreateFileA(folder.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }
    ~LiveRun() { CloseHandle(held_); }
    std::string folder;

  private:
    HANDLE held_;
};
#else
// A child process that makes its own folder and waits until it is let go.
class LiveRun {
  public:
    LiveRun() {
        int go[2], report[2];
        if (pipe(go) != 0 || pipe(report) != 0) return;
        child_ = fork();
        if (child_ == 0) {
            std::string own = platform::privateFolder();
            if (write(report[1], own.data(), own.size()) < 0) _exit(2);
            close(report[1]);
            close(go[1]);
            char byte;
            while (read(go[0], &byte, 1) > 0) {
            }
            _exit(0);
        }
        close(go[0]);
        close(report[1]);
        release_ = go[1];
        char buffer[512];
        for (ssize_t got; (got = read(report[0], buffer, sizeof buffer)) > 0;)
            folder.append(buffer, static_cast<size_t>(got));
        close(report[0]);
    }
    ~LiveRun() {
        close(release_);
        if (child_ > 0) waitpid(child_, nullptr, 0);
    }
    std::string folder;

  private:
    pid_t child_ = -1;
    int release_ = -1;
};
#endif

// A run that was killed leaves its folder behind; the next run takes away the folders of runs
// that have ended, and only folders of the program's name pattern that are the user's own and
// closed to others. A folder a live run holds, or one too new to tell, stays.
TEST(PrivateFolder, TheNextRunTakesAwayOnlyTheFoldersOfEndedRuns) {
    const size_t random = platform::runName().size();
    const std::string prefix(platform::kRunFolderPrefix);
    TempDir parent;
    ScopedEnv temp(kTempFolderVariable, environmentText(parent.path()).c_str());
#ifndef _WIN32
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
#endif
    LiveRun live;
    ASSERT_FALSE(live.folder.empty());
    struct Planted {
        std::string name;
        bool closed, old, removed;
    } planted[] = {
        {prefix + std::string(random, 'a'), true, true, true},
        {prefix + std::string(random, 'b'), true, false, false},   // too new to tell
        {"other-" + std::string(random, 'c'), true, true, false},  // another pattern
        {prefix + std::string(random + 1, 'd'), true, true, false},
#ifndef _WIN32
        {prefix + std::string(random, 'e'), false, true, false},  // open to others
#endif
    };
    const platform::FileTime hourAgo = platform::clock().utcNow() - 36000000000ULL;
    for (const Planted& p : planted) {
        ASSERT_TRUE(platform::createFolder(parent.file(p.name)));
#ifndef _WIN32
        chmod(parent.file(p.name).c_str(), p.closed ? 0700 : 0755);
#endif
        if (p.old) {
            ASSERT_TRUE(platform::setFileWriteTime(parent.file(p.name), hourAgo));
        }
    }
    ASSERT_TRUE(platform::setFileWriteTime(live.folder, hourAgo));
    // A new run makes its folder in the parent.
#ifdef _WIN32
    // A process of its own: this one's folder stays held.
    ASSERT_EQ(runChild().rfind(parent.path(), 0), 0u);
#else
    ASSERT_TRUE(platform::removeTree(platform::privateFolder()));
    ASSERT_EQ(platform::privateFolder().rfind(parent.path(), 0), 0u);
#endif
    for (const Planted& p : planted)
        EXPECT_EQ(platform::folderExists(parent.file(p.name)), !p.removed) << p.name;
    EXPECT_TRUE(platform::folderExists(live.folder));
    // As the staging names of installations on the navigator are told apart.
    std::string liveName = live.folder.substr(0, live.folder.find_last_not_of("/\\") + 1);
    liveName = liveName.substr(platform::lastSeparator(liveName) + 1 + prefix.size());
    EXPECT_TRUE(platform::runMayBeLive(liveName));
    EXPECT_FALSE(platform::runMayBeLive(std::string(random, 'a')));
}

#ifdef _WIN32
// Run in a child copy of this test program, which names its folder in the file the parent gives.
TEST(PrivateFolder, ChildFillsItsOwnFolder) {
    const char* report = std::getenv("VANTU_TEST_PRIVATE_FOLDER_REPORT");
    if (report == nullptr) GTEST_SKIP() << "runs only as the child of the next test";
    std::string own = platform::privateFolder();
    bool ok = !own.empty() && platform::createFolder(own + "set") &&
              platform::writeNewFile(own + "set\\set.rut", "route") &&
              platform::writeNewFile(own + "lushu.tmp", "track");
    ASSERT_TRUE(ok);
    ASSERT_TRUE(platform::writeWholeFile(report, own));
}

TEST(PrivateFolder, RemovedWithItsContentsWhenTheProgramEnds) {
    std::string parentsFolder = platform::privateFolder();
    ASSERT_FALSE(parentsFolder.empty());
    std::string childsFolder = runChild();
    ASSERT_FALSE(childsFolder.empty()) << "the child could not fill a folder of its own";
    EXPECT_NE(childsFolder, parentsFolder);
    EXPECT_FALSE(platform::folderExists(childsFolder)) << childsFolder << " is left behind";
    EXPECT_TRUE(isClosedFolderOfOurs(parentsFolder));
}
#else
TEST(PrivateFolder, RemovedWithItsContentsWhenTheProgramEnds) {
    // The parent's own folder, made first, must survive its child's end.
    std::string parentsFolder = platform::privateFolder();
    ASSERT_FALSE(parentsFolder.empty());
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        std::string own = platform::privateFolder();
        bool ok = !own.empty() && own != parentsFolder && platform::createFolder(own + "set") &&
                  platform::writeNewFile(own + "set/set.rut", "route") &&
                  platform::writeNewFile(own + "lushu.tmp", "track");
        std::string report = ok ? own : std::string();
        if (write(pipeEnds[1], report.data(), report.size()) < 0) _exit(2);
        close(pipeEnds[1]);
        std::exit(0);
    }
    close(pipeEnds[1]);
    std::string childsFolder;
    char buffer[512];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        childsFolder.append(buffer, static_cast<size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_FALSE(childsFolder.empty()) << "the child could not fill a folder of its own";
    struct stat st {};
    EXPECT_NE(lstat(childsFolder.c_str(), &st), 0) << childsFolder << " is left behind";
    EXPECT_TRUE(isClosedFolderOfOurs(parentsFolder));
}
#endif

}  // namespace
