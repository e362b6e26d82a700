// POSIX only: links that another local user can plant without any privilege.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "device/device_connection.h"
#include "ops/poi_operations.h"
#include "ops/route_book_list.h"
#include "ops/route_book_view.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/navsim_harness.h"
#include "support/poi_fixtures.h"
#include "support/recording_seat.h"
#include "support/route_fixtures.h"

namespace {

// The working files of the synchronous device methods over the remote API, at the fixed names
// they once had in the shared temporary folder, where another user may plant links first.
TEST(PlantedFiles, WorkingFilesOfDeviceMethodsNeverFollowLinksInTheTemporaryFolder) {
    const char* const names[] = {"tmp.rut", "temp.poi", "lushu.tmp"};
    struct Case {
        const char* name;
        bool dangling;  // the link points where no file is yet
    } cases[] = {
        {"links to the user's files", false},
        {"links to names where no file is yet", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AttachedNavigator nav(RapiDevice);
        RecordingSeat seat;
        TempDir victims;
        for (const char* name : names) {
            std::string victim = victims.file(name);
            if (!c.dangling) writeFileBytes(victim, "the user's own file");
            ASSERT_EQ(symlink(victim.c_str(), nav.temp.file(name).c_str()), 0);
        }
        // A route book whose files are still named "a" but whose title is "Alpha", and a store.
        makeFolders(nav.storage(), "userdata/track/a");
        makeFolders(nav.storage(), "userdata/poi");
        RouteFixture route;
        RecordFixture book;
        book.title = u"Alpha";
        route.records = {book};
        writeFileBytes(nav.local("userdata/track/a.trk"),
                       trackFileBytes(256, {{0, {{11639000, 3990000, 0}}}}));
        writeFileBytes(nav.local("userdata/track/a/a.rut"), routeFileBytes(route));
        writeFileBytes(nav.local("userdata/poi/address.poi"), poiStoreBytes(0, 4, {}));
        DeviceManager manager(seat);
        ASSERT_EQ(checkConnection(manager), 1);

        // Each method works as ever...
        std::string list = connToPDA(manager, "r");
        EXPECT_NE(list.find("<title>Alpha</title>"), std::string::npos) << list;
        EXPECT_TRUE(platform::fileExists(nav.local("userdata/track/Alpha.trk")));
        EXPECT_NE(showRoadbook(manager, "0").find("name=\"Alpha\""), std::string::npos);
        poiToPDA(manager, "<p lng=\"11600000\" lat=\"3900000\">Home</p>");
        EXPECT_NE(getPdaAddr(manager).find("count=\"1\""), std::string::npos);
        EXPECT_TRUE(seat.statusCodes().empty());

        // ...and nothing was written through the links, which stay as they were.
        for (const char* name : names) {
            SCOPED_TRACE(name);
            std::string victim = victims.file(name);
            if (c.dangling) {
                EXPECT_FALSE(platform::fileExists(victim));
            } else {
                EXPECT_EQ(readFileBytes(victim), "the user's own file");
            }
            struct stat st {};
            ASSERT_EQ(lstat(nav.temp.file(name).c_str(), &st), 0);
            EXPECT_TRUE(S_ISLNK(st.st_mode));
        }
        EXPECT_TRUE(treeOf(platform::privateFolder()).empty());
    }
}

}  // namespace
#endif
