#include "tasks/backup_manifest.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace {

TEST(BackupManifestTest, WrittenAsDocumentedAndReadBackInBothFormats) {
    const std::string korean = "track\\지도\\😀.rut";
    std::vector<BackupFile> files = {{"poi\\address.poi", 1688, 0x581d739c, 134412358903760241u},
                                     {korean, 0, 0, 0}};
    const std::string text = writeBackupManifest(files);
    EXPECT_EQ(text,
              "vantu backup 2\n581d739c 1688 134412358903760241 poi\\address.poi\n00000000 0 0 " +
                  korean + "\n");
    std::string problem;
    auto read = readBackupManifest(text, problem);
    ASSERT_TRUE(read) << problem;
    EXPECT_FALSE(read->gbkNames);
    ASSERT_EQ(read->files.size(), 2u);
    EXPECT_EQ(read->files[0].name, "poi\\address.poi");
    EXPECT_EQ(read->files[0].crc, 0x581d739cu);
    EXPECT_EQ(read->files[0].lastWriteTime, 134412358903760241u);
    EXPECT_EQ(read->files[1].name, korean);
    // The first format's GBK names (北京, its second byte's trail the value of "\") come out in
    // UTF-8; lines ended the Windows way read alike.
    read = readBackupManifest("vantu backup 1\r\n00000000 0 0 track\\\xB1\xB1\xBE\xA9\\a\r\n",
                              problem);
    ASSERT_TRUE(read) << problem;
    EXPECT_TRUE(read->gbkNames);
    EXPECT_EQ(read->files.at(0).name, "track\\北京\\a");
}

TEST(BackupManifestTest, RefusesWhatNoNavigatorHolds) {
    const std::string head = "vantu backup 2\n";
    const std::string ok = "0000abcd 5 0 ";
    std::string deep, deeper, longest(kMaxBackupNameUnits, 'n');
    for (size_t i = 0; i < kMaxBackupFolderDepth; ++i)
        deep += "d\\";
    deeper = deep + "d\\";
    const struct {
        std::string text;
        const char* label;
        bool accepted;
    } cases[] = {
        {"", "empty", false},
        {"vantu backup 3\n", "a newer format", false},
        {"vantu backup 2", "header cut short", false},
        {"0000abcd 5 0 a.txt", "no header", false},
        {head + "0000ABCD 5 0 a.txt\n", "CRC in capitals", false},
        {head + "0000abc 5 0 a.txt\n", "CRC too short", false},
        {head + "0000abcd -5 0 a.txt\n", "negative size", false},
        {head + "0000abcd 4294967296 0 a.txt\n", "4 GiB", false},
        {head + "0000abcd 5 0\n", "no name", false},
        {head + ok + "a.txt", "last line cut short", false},
        {head + ok + "..\\a.txt\n", "climbs out", false},
        {head + ok + "\\a.txt\n", "absolute", false},
        {head + ok + "C:\\a.txt\n", "drive", false},
        {head + ok + "track\\\\a.txt\n", "empty folder name", false},
        {head + ok + "a/b.txt\n", "other separator", false},
        {head + ok + "a.txt.\n", "trailing dot", false},
        {head + ok + "a\tb\n", "control character", false},
        {head + ok + "a\xff.txt\n", "not UTF-8", false},
        {head + ok + "a.trk~vn\n", "a replacement's name", false},
        {head + ok + "settings.ini~VO\n", "a parked name in capitals", false},
        {head + ok + longest + "\n", "the longest name", true},
        {head + ok + longest + "n\n", "a name too long", false},
        {head + ok + deep + "f\n", "as deep as a navigator's folders", true},
        {head + ok + deeper + "f\n", "deeper", false},
        {head + ok + "a b.txt\n", "a space inside", true},
        {head + ok + "a.txt\n" + ok + "A.TXT\n", "twice, letter case aside", false},
        {head + ok + "a\n" + ok + "a b\n" + ok + "a\\b\n", "file and folder, apart", false},
        {head + ok + "ａ\n" + ok + "Ａ\\b\n", "file and folder, full-width case", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::string problem;
        EXPECT_EQ(readBackupManifest(c.text, problem).has_value(), c.accepted) << problem;
        EXPECT_EQ(problem.empty(), c.accepted);
    }
    std::string many = head, problem;
    for (size_t i = 0; i <= kMaxBackupFiles; ++i)
        many += ok + std::to_string(i) + "\n";
    EXPECT_FALSE(readBackupManifest(many, problem));
}

}  // namespace
