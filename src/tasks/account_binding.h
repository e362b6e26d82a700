#pragma once

#include <optional>
#include <string>
#include <string_view>

class Seat;
struct TaskState;

// The user's account as the page binds it, and the upload path that carries it.

// The upload path before any account is bound keeps both "%s" unfilled.
inline constexpr const char* kUploadPathTemplate =
    "/routebook/vantu/upload?uname=%s&verify=%s&fname=";

// Binds the account: the upload path gets the scrambled name token and the name's digest, and
// the page gets "name=TOKEN&verify=DIGEST". A missing name posts code 2 and answers "".
std::string SetUsername(TaskState& tasks, Seat& seat, const std::optional<std::string>& account);

// The name token: a salted, key-masked interleaving of the name's UTF-16 units, as Base64.
std::string makeUserToken(std::u16string_view user, std::u16string_view key);

// Standard Base64 with "=" padding and "\r\n" after every 19th full group (76 characters).
std::string base64WithLineBreaks(std::string_view bytes);

// The salt's random draw (0 to 32767): the C runtime's generator seeded with the time in
// seconds, unless replaced (null restores it).
using SaltDraw = int (*)();
void setSaltDraw(SaltDraw draw);
