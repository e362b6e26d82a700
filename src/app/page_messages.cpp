#include "app/page_messages.h"

#include <cstdio>

#include "platform/codepage.h"
#include "platform/utf8_text.h"

std::optional<std::string> statusText(TaskStatus code) {
    const char* text = taskStatusText(static_cast<int>(code));
    if (text == nullptr) return std::nullopt;
    // The texts are written in UTF-8 and handed on in the ANSI code page.
    return platform::utf8ToAnsi(text);
}

std::optional<std::string> actionWord(TaskKind kind) {
    switch (kind) {
        case TaskKind::Import:
            return std::string("down");
        case TaskKind::Delete:
            return std::string("delete");
        case TaskKind::Export:
            return std::string("updata");
        default:
            return std::nullopt;
    }
}

std::optional<PageCall> pageCallFor(const TaskEvent& event) {
    if (event.kind == TaskEvent::Kind::Status) {
        PageCall call{"kankan", {}};
        if (auto text = statusText(event.status))
            call.args = {*text, std::to_string(static_cast<int>(event.status)),
                         std::to_string(static_cast<int>(event.cause))};
        return call;
    }
    if (event.kind == TaskEvent::Kind::Progress) {
        char ordinal[24];
        std::snprintf(ordinal, sizeof ordinal, "%d", event.ordinal);
        PageCall call{"currentLushu", {ordinal}};
        // The page knows no word for the program's own tasks: their progress passes none.
        if (auto word = actionWord(event.progress)) call.args.push_back(*word);
        return call;
    }
    // The page asks in its own dialog and answers through restoreFromPC.
    if (event.kind == TaskEvent::Kind::ReplaceQuestion) return PageCall{"askReplace", {}};
    return std::nullopt;
}

namespace {

void appendUnicodeEscape(std::string& out, unsigned unit) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04X", unit & 0xFFFF);
    out += buf;
}

// A character beyond the 16-bit range as its surrogate pair.
void appendEscapedUnits(std::string& out, char32_t cp) {
    if (cp < 0x10000) {
        appendUnicodeEscape(out, cp);
        return;
    }
    char32_t v = cp - 0x10000;
    appendUnicodeEscape(out, 0xD800 + (v >> 10));
    appendUnicodeEscape(out, 0xDC00 + (v & 0x3FF));
}

const char* shortEscape(char32_t cp) {
    switch (cp) {
        case '"':
            return "\\\"";
        case '\\':
            return "\\\\";
        case '\n':
            return "\\n";
        case '\r':
            return "\\r";
        case '\t':
            return "\\t";
        case '<':
            return "\\u003C";
        default:
            return nullptr;
    }
}

}  // namespace

std::string jsStringLiteral(const std::string& utf8, bool escapeNonAscii) {
    std::string out = "\"";
    size_t i = 0;
    while (i < utf8.size()) {
        size_t start = i;
        char32_t cp = utf8::decode(utf8, i);
        if (const char* escape = shortEscape(cp)) {
            out += escape;
        } else if (cp < 0x20 || cp == 0x7F || cp == 0x2028 || cp == 0x2029) {
            appendUnicodeEscape(out, cp);
        } else if (cp >= 0x80 && (escapeNonAscii || cp == 0xFFFD)) {
            appendEscapedUnits(out, cp);
        } else {
            out.append(utf8, start, i - start);
        }
    }
    out += '"';
    return out;
}

std::string formatPageCall(const PageCall& call) {
    std::string out = call.function + "(";
    for (size_t i = 0; i < call.args.size(); ++i) {
        if (i) out += ',';
        out += jsStringLiteral(platform::ansiToUtf8(call.args[i]), false);
    }
    return out + ")";
}
