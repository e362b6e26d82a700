#include "tasks/account_binding.h"
#include "common/task_status.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "session/device_manager.h"
#include "support/recording_seat.h"

namespace {

int draw12345() {
    return 12345;
}
int draw6() {
    return 6;
}

class AccountBindingTest : public ::testing::Test {
  protected:
    void SetUp() override { setSaltDraw(draw12345); }
    void TearDown() override { setSaltDraw(nullptr); }

    RecordingSeat seat;
};

// Expected tokens computed independently from the token rule (salt md5("12345") or md5("6"),
// key stream md5("mossgrave")).
TEST_F(AccountBindingTest, TokensOfKnownNames) {
    struct Case {
        SaltDraw draw;
        std::u16string user;
        std::string token;
    } cases[] = {
        {draw12345, u"alice", "XmEEOw9mADFSZA=="},
        // 58 bytes: the 19th full group is followed by a line break, the padded one is not.
        {draw12345, u"abcdefghijklmnopqrstuvwxyz012",
         "XmEENQ9sADZSZFcxBWYAbARvUWgNMlQ+Bm1VPwU/WyVSfVV0C3hXcVB2BHIDcF0hWCMBKFM3DToF\r\nMQ=="},
        // A masked unit of zero stays a zero byte.
        {draw6, u"alice", "V2gAPw9mWmsBNw=="},
        {draw12345, u"", ""},
    };
    for (const auto& c : cases) {
        setSaltDraw(c.draw);
        EXPECT_EQ(makeUserToken(c.user, u"mossgrave"), c.token);
    }
}

TEST_F(AccountBindingTest, Base64LineBreaks) {
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\0\xFF\xFE", 3), "AP/+"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(base64WithLineBreaks(c.in), c.out);

    std::string line(76, ' ');
    for (size_t i = 0; i < 76; i += 4)
        line.replace(i, 4, "YWFh");
    EXPECT_EQ(base64WithLineBreaks(std::string(56, 'a')), line.substr(0, 72) + "YWE=");
    EXPECT_EQ(base64WithLineBreaks(std::string(57, 'a')), line + "\r\n");
    EXPECT_EQ(base64WithLineBreaks(std::string(114, 'a')), line + "\r\n" + line + "\r\n");
    EXPECT_EQ(base64WithLineBreaks(std::string(58, 'a')), line + "\r\nYQ==");
}

TEST_F(AccountBindingTest, SetUsernameFillsTheUploadPath) {
    DeviceManager device(seat);
    EXPECT_EQ(device.uploadPath, "/routebook/vantu/upload?uname=%s&verify=%s&fname=");
    EXPECT_EQ(SetUsername(device, seat, std::string("alice")),
              "name=XmEEOw9mADFSZA%3D%3D&verify=6384e2b2184bcbf58eccf10ca7a6563c");
    EXPECT_EQ(device.uploadPath,
              "/routebook/vantu/upload?uname=XmEEOw9mADFSZA%3D%3D"
              "&verify=6384e2b2184bcbf58eccf10ca7a6563c&fname=");

    // A long name's line break reaches the query as "++".
    std::string answer = SetUsername(device, seat, std::string("abcdefghijklmnopqrstuvwxyz012"));
    EXPECT_NE(answer.find("DToF++MQ%3D%3D&verify="), std::string::npos) << answer;
}

TEST_F(AccountBindingTest, VerifyIsTheDigestOfTheAnsiName) {
    DeviceManager device(seat);
    std::string answer = SetUsername(device, seat, platform::utf8ToAnsi("北京"));
    EXPECT_EQ(answer.substr(answer.find("&verify=")), "&verify=7b51d9b09b5f9fd771a7968f347e128b");
}

TEST_F(AccountBindingTest, MissingNamePostsCode2AndKeepsThePath) {
    DeviceManager device(seat);
    EXPECT_EQ(SetUsername(device, seat, std::nullopt), "");
    EXPECT_EQ(seat.statusCodes(), std::vector<TaskStatus>{TaskStatus::UnknownError});
    EXPECT_EQ(device.uploadPath, kUploadPathTemplate);
}

}  // namespace
