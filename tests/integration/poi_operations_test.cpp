#include "ops/poi_operations.h"
#include "common/task_status.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "device/device_connection.h"
#include "device/device_files.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/native_path.h"
#include "support/navsim_harness.h"
#include "support/poi_fixtures.h"
#include "support/recording_seat.h"

namespace {

PoiRecordFixture place(const char16_t* name, int n) {
    PoiRecordFixture r;
    r.name = name;
    r.type = n;
    r.lng = 11600000 + n;
    r.lat = 3900000 + n;
    r.time = {2009, 3, 21, 8, 5, n};
    r.filler = 0xC3;  // bytes the program does not interpret
    return r;
}

struct FixedClock : platform::Clock {
    platform::LocalTime localNow() const override { return {2012, 2, 29, 7, 6, 5}; }
};

class PoiOpsTest : public ::testing::TestWithParam<ConnectionMode> {
  protected:
    AttachedNavigator nav{GetParam()};
    RecordingSeat seat;
    DeviceManager manager{seat};

    std::string storePath() const { return nav.local("userdata/poi/address.poi"); }

    void connectWithStore(const std::string& bytes) {
        makeFolders(nav.storage(), "userdata/track");
        makeFolders(nav.storage(), "userdata/poi");
        writeFileBytes(storePath(), bytes);
        ASSERT_EQ(checkConnection(manager), 1);
        ASSERT_EQ(manager.mode, nav.mode);
    }

    std::vector<std::string> threePlaces() const {
        return {poiRecordBytes(4, place(u"a", 0)), poiRecordBytes(4, place(u"b", 1)),
                poiRecordBytes(4, place(u"c", 2))};
    }
};

TEST_P(PoiOpsTest, AMissingStoreIsCreatedEmptyAndThenListed) {
    makeFolders(nav.storage(), "userdata/track");
    ASSERT_EQ(checkConnection(manager), 1);
    EXPECT_EQ(getPdaAddr(manager), "");
    EXPECT_EQ(readFileBytes(storePath()), poiStoreBytes(0, 4, {}));
    EXPECT_EQ(getPdaAddr(manager),
              "<?xml version=\"1.0\" encoding=\"GB2312\" ?><point page=\"1\" count=\"0\"></point>");

    // The new store takes places.
    FixedClock clock;
    platform::setClock(&clock);
    poiToPDA(manager, "<p lng=\"11600000\" lat=\"3900000\">Home</p>");
    platform::setClock(nullptr);
    PoiRecordFixture home;
    home.name = u"Home";
    home.lng = 11600000;
    home.lat = 3900000;
    home.time = {2012, 2, 29, 7, 6, 5};
    EXPECT_EQ(readFileBytes(storePath()), poiStoreBytes(1, 4, {poiRecordBytes(4, home)}));
    EXPECT_TRUE(treeOf(platform::privateFolder()).empty());
    EXPECT_TRUE(seat.statusCodes().empty());
}

TEST_P(PoiOpsTest, ListAddAndDeleteKeepEveryOtherByte) {
    std::vector<std::string> old = threePlaces();
    connectWithStore(poiStoreBytes(3, 4, old, {11, 22, 33}));
    std::string list = getPdaAddr(manager);
    EXPECT_EQ(list.find("<?xml version=\"1.0\" encoding=\"GB2312\" ?><point page=\"1\" count=\"3\">"
                        "<point id=\"0\" lastUpDate=\"20090321080500\" URL=\"\" hide=\"false\" "
                        "level=\"12\" lng=\"11600000\" lat=\"3900000\" showName=\"0\" "
                        "iconIndex=\"0\" nType=\"0\">a</point>"),
              0u)
        << list;

    deleteSelectedPoi(manager, "2,0");
    EXPECT_EQ(readFileBytes(storePath()).substr(0, 20 + 556),
              poiStoreBytes(1, 4, {old[1]}, {11, 22, 33}));
    deleteSelectedPoi(manager, "1,1");  // refused: the store goes back unchanged
    EXPECT_EQ(readFileBytes(storePath()).substr(0, 20 + 556),
              poiStoreBytes(1, 4, {old[1]}, {11, 22, 33}));

    FixedClock clock;
    platform::setClock(&clock);
    poiToPDA(manager, "<p lng=\"5\">x</p><p lat=\"6\">y</p>");
    platform::setClock(nullptr);
    PoiRecordFixture x, y;
    x.name = u"x";
    x.lng = 5;
    y.name = u"y";
    y.lat = 6;
    x.time = y.time = {2012, 2, 29, 7, 6, 5};
    EXPECT_EQ(
        readFileBytes(storePath()).substr(0, 20 + 3 * 556),
        poiStoreBytes(3, 4, {poiRecordBytes(4, y), poiRecordBytes(4, x), old[1]}, {11, 22, 33}));
    EXPECT_TRUE(seat.statusCodes().empty());
    EXPECT_TRUE(treeOf(platform::privateFolder()).empty());
}

// A store that is not read whole, or whose layout the program does not know, is never written
// back: additions and deletions leave every byte of it as it was.
TEST_P(PoiOpsTest, StoresNotReadWholeAreNeverRewritten) {
    std::vector<std::string> three = threePlaces();
    std::string oversized = poiStoreBytes(1, 4, {three[0]});
    oversized.resize(oversized.size() + PoiStore::kSlackBytes + 1, '\0');
    std::string records = three[0] + three[1] + three[2];
    struct Case {
        const char* label;
        std::string bytes;
        bool reportsFailure;
    } cases[] = {
        {"version 0", poiStoreBytes(3, 0, {records}), false},
        {"version 9", poiStoreBytes(3, 9, {records}), false},
        {"count larger than the file", poiStoreBytes(5, 4, three), true},
        {"count below zero", poiStoreBytes(-2, 4, three), true},
        {"more places than a store can hold", poiStoreBytes(100001, 4, three), true},
        {"far more bytes than its count needs", oversized, true},
    };
    connectWithStore(cases[0].bytes);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        writeFileBytes(storePath(), c.bytes);
        seat.clear();
        poiToPDA(manager, "<p lng=\"1\">n</p>");
        deleteSelectedPoi(manager, "0");
        EXPECT_TRUE(readFileBytes(storePath()) == c.bytes);
        const std::vector<TaskStatus> codes =
            c.reportsFailure
                ? std::vector<TaskStatus>{TaskStatus::TransferError, TaskStatus::UnknownError}
                : std::vector<TaskStatus>{};
        EXPECT_EQ(seat.statusCodes(), codes);
        EXPECT_TRUE(treeOf(platform::privateFolder()).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(BothModes, PoiOpsTest, ::testing::Values(RemovableDrive, RapiDevice),
                         [](const auto& info) {
                             return info.param == RapiDevice ? "RemoteApi" : "Drive";
                         });

// Over the remote API the store travels through a temporary copy.
class RemotePoiTest : public PoiOpsTest {};

TEST_P(RemotePoiTest, FailedCopiesPostTheirCodeAndNeverLoseTheStore) {
    std::string bytes = poiStoreBytes(3, 4, threePlaces());
    connectWithStore(bytes);
    struct Case {
        const char* label;
        const char* fault;
        TaskStatus code;
        bool add;
    };
    for (const Case& c : {Case{"add, copy from", "read", TaskStatus::TransferError, true},
                          Case{"add, copy back", "write", TaskStatus::TransferError, true},
                          Case{"delete, copy from", "read", TaskStatus::UnknownError, false},
                          Case{"delete, copy back", "create", TaskStatus::UnknownError, false}}) {
        SCOPED_TRACE(c.label);
        seat.clear();
        writeFileBytes(storePath(), bytes);
        // "create" fails the second CeCreateFile: the first opens the store for reading.
        nav.device.sim.fail(c.fault, std::string(c.fault) == "create" ? 2 : 1);
        if (c.add)
            poiToPDA(manager, "<p>n</p>");
        else
            deleteSelectedPoi(manager, "0");
        EXPECT_EQ(seat.statusCodes(), std::vector<TaskStatus>{c.code});
        EXPECT_EQ(readFileBytes(storePath()), bytes);
        nav.device.sim.control("reset");
    }
    // A store that exists but cannot be copied is not replaced by an empty one.
    writeFileBytes(storePath(), bytes);
    nav.device.sim.fail("read", 1);
    EXPECT_EQ(getPdaAddr(manager), "");
    EXPECT_EQ(readFileBytes(storePath()), bytes);
    nav.device.sim.fail("create", 1);  // the probe of the poi folder
    EXPECT_EQ(getPdaAddr(manager), "");
    EXPECT_EQ(readFileBytes(storePath()), bytes);
    EXPECT_TRUE(treeOf(platform::privateFolder()).empty());
}

// A replacement of the store cut off between its two moves (the program killed, the cable
// pulled) leaves it only under its parked name. The first check that finds the navigator, also
// after it was gone, puts it back: the places are listed, never replaced by an empty store.
TEST_P(RemotePoiTest, AStoreParkedByACutOffReplacementIsBackAtTheNextConnection) {
    namespace fs = std::filesystem;
    const std::string bytes = poiStoreBytes(3, 4, threePlaces());
    connectWithStore(bytes);
    const fs::path userdata = nativePath(nav.local("userdata"));
    for (const char* round : {"next run", "found again"}) {
        SCOPED_TRACE(round);
        if (std::string(round) == "next run") {
            manager.sweptRoot.clear();
        } else {
            fs::rename(userdata, userdata.string() + ".away");
            ASSERT_EQ(checkConnection(manager), 0);
            fs::rename(userdata.string() + ".away", userdata);
        }
        fs::rename(nativePath(storePath()), nativePath(storePath() + kDeviceOldSuffix));
        writeFileBytes(storePath() + kDeviceNewSuffix, "half");
        ASSERT_EQ(checkConnection(manager), 1);
        EXPECT_NE(getPdaAddr(manager).find("count=\"3\""), std::string::npos);
        EXPECT_EQ(readFileBytes(storePath()), bytes);
        EXPECT_EQ(treeOf(nav.local("userdata/poi")).size(), 1u);
    }
}

// A store larger than any count can need is not even copied from the navigator.
TEST_P(RemotePoiTest, AStoreTooLargeForAnyCountIsNotCopied) {
    connectWithStore(poiStoreBytes(1, 4, {threePlaces()[0]}));
    std::filesystem::resize_file(nativePath(storePath()),
                                 static_cast<uintmax_t>(PoiStore::kMaxFileSize) + 1);
    nav.device.sim.control("reset");
    EXPECT_EQ(getPdaAddr(manager), "");
    poiToPDA(manager, "<p>n</p>");
    EXPECT_EQ(nav.device.sim.calls("CeReadFile"), 0);
    EXPECT_EQ(seat.statusCodes(), std::vector<TaskStatus>{TaskStatus::TransferError});
    EXPECT_EQ(platform::File(storePath(), platform::OpenMode::Read).size(),
              PoiStore::kMaxFileSize + 1);
}

INSTANTIATE_TEST_SUITE_P(Navsim, RemotePoiTest, ::testing::Values(RapiDevice));

}  // namespace
