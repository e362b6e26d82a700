#include "tasks/backup_manifest.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace {

TEST(BackupManifestTest, WrittenAsDocumentedAndReadBack) {
    const std::string name = platform::utf8ToAnsi("track\\北京\\北京.rut");
    std::vector<BackupFile> files = {{"poi\\address.poi", 1688, 0x581d739c, 134412358903760241u},
                                     {name, 0, 0, 0}};
    const std::string text = writeBackupManifest(files);
    EXPECT_EQ(text,
              "vantu backup 1\n581d739c 1688 134412358903760241 poi\\address.poi\n00000000 0 0 " +
                  name + "\n");
    std::string problem;
    auto read = readBackupManifest(text, problem);
    ASSERT_TRUE(read) << problem;
    ASSERT_EQ(read->size(), 2u);
    EXPECT_EQ((*read)[0].name, "poi\\address.poi");
    EXPECT_EQ((*read)[0].crc, 0x581d739cu);
    EXPECT_EQ((*read)[0].lastWriteTime, 134412358903760241u);
    EXPECT_EQ((*read)[1].name, name);
    // Lines ended the Windows way read alike.
    EXPECT_TRUE(readBackupManifest("vantu backup 1\r\n00000000 0 0 a.txt\r\n", problem));
}

TEST(BackupManifestTest, RefusesWhatNoBackupHolds) {
    const std::string head = "vantu backup 1\n";
    const std::string ok = "0000abcd 5 0 ";
    const char* cases[][2] = {
        {"", "empty"},
        {"vantu backup 2\n", "a newer format"},
        {"vantu backup 1", "header cut short"},
        {"0000abcd 5 0 a.txt", "no header"},
        {"vantu backup 1\n0000ABCD 5 0 a.txt\n", "CRC in capitals"},
        {"vantu backup 1\n0000abc 5 0 a.txt\n", "CRC too short"},
        {"vantu backup 1\n0000abcd -5 0 a.txt\n", "negative size"},
        {"vantu backup 1\n0000abcd 4294967296 0 a.txt\n", "4 GiB"},
        {"vantu backup 1\n0000abcd 5 0\n", "no name"},
        {"vantu backup 1\n0000abcd 5 0 a.txt", "last line cut short"},
        {"vantu backup 1\n0000abcd 5 0 ..\\a.txt\n", "climbs out"},
        {"vantu backup 1\n0000abcd 5 0 \\a.txt\n", "absolute"},
        {"vantu backup 1\n0000abcd 5 0 C:\\a.txt\n", "drive"},
        {"vantu backup 1\n0000abcd 5 0 track\\\\a.txt\n", "empty folder name"},
        {"vantu backup 1\n0000abcd 5 0 a/b.txt\n", "other separator"},
        {"vantu backup 1\n0000abcd 5 0 a.txt.\n", "trailing dot"},
        {"vantu backup 1\n0000abcd 5 0 a\tb\n", "control character"},
        {"vantu backup 1\n0000abcd 5 0 a.trk~vn\n", "a replacement's name"},
        {"vantu backup 1\n0000abcd 5 0 a.txt\n0000abcd 5 0 A.TXT\n", "twice, letter case aside"},
        {"vantu backup 1\n0000abcd 5 0 a\n0000abcd 5 0 a\\b\n", "file and folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[1]);
        std::string problem;
        EXPECT_FALSE(readBackupManifest(c[0], problem));
        EXPECT_FALSE(problem.empty());
    }
    std::string problem;
    EXPECT_TRUE(readBackupManifest(head + ok + "a b.txt\n", problem)) << problem;
    std::string many = head;
    for (size_t i = 0; i <= kMaxBackupFiles; ++i)
        many += ok + std::to_string(i) + "\n";
    EXPECT_FALSE(readBackupManifest(many, problem));
}

}  // namespace
