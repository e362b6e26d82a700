#include "ops/poi_store.h"

#include <gtest/gtest.h>

#include "support/poi_fixtures.h"
#include "support/temp_dir.h"

namespace {

PoiRecordFixture place(int n, uint8_t filler = 0xA5) {
    PoiRecordFixture r;
    r.type = n;
    r.icon = n + 10;
    r.lng = 11600000 + n;
    r.lat = 3900000 + n;
    r.name = u"P" + std::u16string(1, static_cast<char16_t>(u'0' + n));
    r.showName = 1;
    r.time = {2009, 3, 21, 8, 5, n};
    r.filler = filler;
    return r;
}

std::vector<std::string> places(int version, int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(poiRecordBytes(version, place(i)));
    return out;
}

TEST(PoiStoreTest, ReadingStoresWholeShortAndUnknown) {
    struct Case {
        const char* label;
        std::string bytes;
        int result;
        int32_t count;
        size_t records;
    };
    std::string cutRecord = poiStoreBytes(3, 4, places(4, 3));
    cutRecord.resize(20 + 2 * 556 + 100);
    // Bytes after the records, as an earlier, longer store leaves them: a margin is allowed.
    std::string slack = poiStoreBytes(1, 1, places(1, 1));
    slack.resize(slack.size() + PoiStore::kSlackBytes, '\x5A');
    const Case cases[] = {
        {"empty version 1", poiStoreBytes(0, 1, {}), 0, 0, 0},
        {"two records of version 2", poiStoreBytes(2, 2, places(2, 2)), 0, 2, 2},
        {"a record cut short", cutRecord, -3, 2, 2},
        // No file holds a negative number of records: such a store is refused, never edited.
        {"a negative count", poiStoreBytes(-1, 2, places(2, 2)), -1, 0, 0},
        {"version 0", poiStoreBytes(7, 0, places(1, 1)), 1, 7, 0},
        {"version 6", poiStoreBytes(1, 6, places(4, 1)), 1, 1, 0},
        {"a short header", std::string(19, '\1'), -2, 0, 0},
        {"bytes after the records within the margin", slack, 0, 1, 1},
        {"bytes after the records beyond the margin", slack + "x", -1, 0, 0},
        {"more places than a store can hold", poiStoreBytes(100001, 4, {}), -1, 0, 0},
        {"a count below zero", poiStoreBytes(-1, 4, places(4, 1)), -1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        writeFileBytes(dir.file("address.poi"), c.bytes);
        PoiStore store;
        store.records.push_back(PoiRecord(216));  // from an earlier read
        EXPECT_EQ(store.readPoiStore(dir.file("address.poi")), c.result);
        EXPECT_EQ(store.header.count, c.count);
        EXPECT_EQ(store.records.size(), c.records);
    }
    PoiStore store;
    store.header.count = 4;
    EXPECT_EQ(store.readPoiStore("/nonexistent/address.poi"), -1);
    EXPECT_EQ(store.header.count, 0);
}

TEST(PoiStoreTest, EveryUninterpretedByteComesBackAfterReadAndWrite) {
    for (int version : {1, 2, 3, 4, 5}) {
        SCOPED_TRACE(version);
        TempDir dir;
        std::string bytes = poiStoreBytes(3, version, places(version, 3), {-7, 0x12345678, 99});
        writeFileBytes(dir.file("in.poi"), bytes);
        PoiStore store;
        ASSERT_EQ(store.readPoiStore(dir.file("in.poi")), 0);
        ASSERT_EQ(store.writePoiStore(dir.file("out.poi")), 0);
        EXPECT_EQ(readFileBytes(dir.file("out.poi")), bytes);
    }
}

TEST(PoiStoreTest, WritingOverALongerFileKeepsItsTail) {
    TempDir dir;
    std::string old = poiStoreBytes(5, 1, places(1, 5));
    writeFileBytes(dir.file("address.poi"), old);
    PoiStore store;
    ASSERT_EQ(store.readPoiStore(dir.file("address.poi")), 0);
    store.records.erase(store.records.begin() + 1, store.records.begin() + 4);
    store.header.count = 2;
    ASSERT_EQ(store.writePoiStore(dir.file("address.poi")), 0);
    std::vector<std::string> kept = {poiRecordBytes(1, place(0)), poiRecordBytes(1, place(4))};
    std::string expected = poiStoreBytes(2, 1, kept) + old.substr(20 + 2 * 216);
    EXPECT_EQ(readFileBytes(dir.file("address.poi")), expected);
    ASSERT_EQ(store.readPoiStore(dir.file("address.poi")), 0);
    EXPECT_EQ(store.records.size(), 2u);
}

TEST(PoiStoreTest, TheWriterRefusesWhatItCannotWriteWholeAfterTheHeader) {
    TempDir dir;
    std::string records = places(4, 2)[0] + places(4, 2)[1];
    PoiStore store;
    store.header = {2, 1, 2, 9, 3};
    writeFileBytes(dir.file("a.poi"), poiStoreBytes(2, 9, {}) + records);
    EXPECT_EQ(store.writePoiStore(dir.file("a.poi")), -3);
    EXPECT_EQ(readFileBytes(dir.file("a.poi")), poiStoreBytes(2, 9, {}, {1, 2, 3}) + records);

    store.header = {3, 0, 0, 4, 0};
    store.records = {PoiRecord(556)};
    EXPECT_EQ(store.writePoiStore(dir.file("b.poi")), -2);
    EXPECT_EQ(readFileBytes(dir.file("b.poi")), poiStoreBytes(3, 4, {}));
    EXPECT_EQ(store.writePoiStore(dir.file("no folder/c.poi")), -1);
}

TEST(PoiStoreTest, AnEmptyStoreCanTakePlaces) {
    TempDir dir;
    PoiStore fresh;
    ASSERT_EQ(fresh.writeEmptyPoiStore(dir.file("new.poi")), 1);
    EXPECT_EQ(readFileBytes(dir.file("new.poi")), poiStoreBytes(0, 4, {}));

    // After a store was read its header is kept, with count 0.
    writeFileBytes(dir.file("old.poi"), poiStoreBytes(1, 2, places(2, 1), {5, 6, 7}));
    PoiStore store;
    ASSERT_EQ(store.readPoiStore(dir.file("old.poi")), 0);
    ASSERT_EQ(store.writeEmptyPoiStore(dir.file("new.poi")), 1);
    EXPECT_EQ(readFileBytes(dir.file("new.poi")), poiStoreBytes(0, 2, {}, {5, 6, 7}));
    EXPECT_EQ(store.records.size(), 1u);
    EXPECT_EQ(store.writeEmptyPoiStore(dir.file("no folder/x.poi")), -1);
}

}  // namespace
