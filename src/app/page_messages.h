#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/seat.h"

// The page function call that a task event becomes.
struct PageCall {
    std::string function;           // "kankan", "currentLushu", ...
    std::vector<std::string> args;  // ANSI text, in the order the page function receives them
};

// The message text for a status code, or nothing for the codes that call "kankan" without an
// argument (6, 11 and unknown codes). Code 0 is a single space.
std::optional<std::string> statusText(TaskStatus code);
// "down", "delete" or "updata" for imports, deletions and exports; nothing for any other kind.
std::optional<std::string> actionWord(TaskKind kind);

// A task's status, progress and question as page calls; nothing for any other event. A status
// with a message passes its code and the cause code after the text, for the page to branch on.
std::optional<PageCall> pageCallFor(const TaskEvent& event);

// A JavaScript string literal in double quotes for UTF-8 text. Quotes, backslashes, control
// characters, '<' (so that "</script>" cannot end a script block) and U+2028/U+2029 are escaped;
// with escapeNonAscii every other non-ASCII character is written as \uXXXX too.
std::string jsStringLiteral(const std::string& utf8, bool escapeNonAscii);

// name(arg1,arg2,...) with each ANSI argument as a JavaScript string literal, in UTF-8.
std::string formatPageCall(const PageCall& call);
