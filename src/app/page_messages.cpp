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

}  // namespace

std::string jsStringLiteral(const std::string& utf8, bool escapeNonAscii) {
    std::string out = "\"";
    size_t i = 0;
    while (i < utf8.size()) {
        size_t start = i;
        char32_t cp = utf8::decode(utf8, i);
        switch (cp) {
            case '"':
                out += "\\\"";
                continue;
            case '\\':
                out += "\\\\";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\t':
                out += "\\t";
                continue;
            case '<':
                out += "\\u003C";
                continue;
            case 0x2028:
            case 0x2029:
                appendUnicodeEscape(out, cp);
                continue;
            default:
                break;
        }
        if (cp < 0x20 || cp == 0x7F) {
            appendUnicodeEscape(out, cp);
        } else if (cp >= 0x80 && (escapeNonAscii || cp == 0xFFFD)) {
            if (cp >= 0x10000) {
                char32_t v = cp - 0x10000;
                appendUnicodeEscape(out, 0xD800 + (v >> 10));
                appendUnicodeEscape(out, 0xDC00 + (v & 0x3FF));
            } else {
                appendUnicodeEscape(out, cp);
            }
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
