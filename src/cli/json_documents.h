#pragma once

#include <optional>
#include <string>

namespace cli {

// The program's document (route book list, places, route book) as JSON; nothing for any other
// text, and nothing for a document too large or too deeply nested to read (the reason in
// `refusal`). ANSI in, UTF-8 out.
std::optional<std::string> documentToJson(const std::string& ansi, std::string* refusal = nullptr);
// A JSON string for UTF-8 text.
std::string jsonString(const std::string& utf8);

}  // namespace cli
