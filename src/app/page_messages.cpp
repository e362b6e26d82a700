#include "app/page_messages.h"

#include <cstdio>

#include "common/task_status.h"
#include "platform/codepage.h"
#include "platform/utf8_text.h"

std::optional<std::string> statusText(intptr_t code) {
    const char* text = taskStatusText(code);
    if (text == nullptr) return std::nullopt;
    // The texts are written in UTF-8 and handed on in the ANSI code page.
    return platform::utf8ToAnsi(text);
}

std::optional<std::string> actionWord(uintptr_t kind) {
    switch (kind) {
        case 0:
            return std::string("down");
        case 1:
            return std::string("delete");
        case 2:
            return std::string("updata");
        default:
            return std::nullopt;
    }
}

std::optional<PageCall> pageCallForMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_TASK_STATUS) {
        PageCall call{"kankan", {}};
        if (auto text = statusText(lParam)) call.args.push_back(*text);
        return call;
    }
    if (message == WM_TASK_PROGRESS) {
        char ordinal[24];
        std::snprintf(ordinal, sizeof ordinal, "%d", static_cast<int>(lParam));
        PageCall call{"currentLushu", {ordinal}};
        // Only kinds 0 to 2 are ever posted; another kind passes no action word.
        if (auto word = actionWord(wParam)) call.args.push_back(*word);
        return call;
    }
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
