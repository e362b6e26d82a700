#include "tasks/account_binding.h"

#include <atomic>
#include <cstdlib>

#include "common/task_status.h"
#include "formats/base64.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/digest.h"
#include "tasks/http_transfer.h"
#include "tasks/task_runner.h"

namespace {

const char16_t kTokenKey[] = u"mossgrave";

int runtimeDraw() {
    std::srand(static_cast<unsigned>(platform::clock().unixTime()));
    return std::rand() & 0x7FFF;
}

std::atomic<SaltDraw> gSaltDraw{nullptr};

// The template with each "%s" replaced by the next value.
std::string fill(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    auto value = values.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' &&
            value != values.end()) {
            out += *value++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace

void setSaltDraw(SaltDraw draw) {
    gSaltDraw.store(draw);
}

std::string base64WithLineBreaks(std::string_view bytes) {
    return base64Encode(bytes, 19);
}

std::string makeUserToken(std::u16string_view user, std::u16string_view key) {
    SaltDraw draw = gSaltDraw.load();
    std::string salt = platform::md5Hex(std::to_string(draw ? draw() : runtimeDraw()));
    std::string keyStream = platform::md5Hex(platform::utf16ToAnsi(key));
    std::u16string masked;
    masked.reserve(2 * user.size());
    for (size_t j = 0; j < user.size(); ++j) {
        auto s = static_cast<char16_t>(static_cast<unsigned char>(salt[j % 32]));
        masked += s;
        masked += static_cast<char16_t>(user[j] ^ s);
    }
    for (size_t m = 0; m < masked.size(); ++m)
        masked[m] =
            static_cast<char16_t>(masked[m] ^ static_cast<unsigned char>(keyStream[m % 32]));
    return base64WithLineBreaks(platform::utf16ToAnsi(masked));
}

std::string SetUsername(TaskState& tasks, Seat& seat, const std::optional<std::string>& account) {
    if (!account) {
        seat.postStatus(TaskStatus::UnknownError);
        return {};
    }
    std::string token = makeUserToken(platform::ansiToUtf16(*account), kTokenKey);
    std::string encoded = urlEncode(token);
    std::string verify = platform::md5Hex(*account);
    tasks.accountName = *account;
    tasks.uploadPath = fill(kUploadPathTemplate, {encoded, verify});
    return fill("name=%s&verify=%s", {encoded, verify});
}
