#include "bridge/script_value.h"

#include <cmath>
#include <cstdio>

#include "platform/codepage.h"

namespace {

std::u16string fromAscii(const char* s) {
    std::u16string out;
    while (*s)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s++)));
    return out;
}

std::string toAnsi(const std::u16string& text) {
    // The script's string counts up to its first NUL character.
    size_t nul = text.find(u'\0');
    return platform::utf16ToAnsi(std::u16string_view(text).substr(0, nul));
}

const ScriptValue* fromEnd(const std::vector<ScriptValue>& args, size_t back) {
    return back < args.size() ? &args[args.size() - 1 - back] : nullptr;
}

}  // namespace

std::optional<std::u16string> scriptValueToString(const ScriptValue& value) {
    char text[64];
    switch (value.type) {
        case ScriptValue::Type::Empty:
            return std::u16string();
        case ScriptValue::Type::String:
            return value.text;
        case ScriptValue::Type::Int32:
            std::snprintf(text, sizeof text, "%ld", static_cast<long>(value.integer));
            return fromAscii(text);
        case ScriptValue::Type::Double:
            if (std::isnan(value.number)) return fromAscii("NaN");
            if (std::isinf(value.number))
                return fromAscii(value.number > 0 ? "Infinity" : "-Infinity");
            // Negative zero prints as "0", as the platform's conversion does.
            std::snprintf(text, sizeof text, "%.15G", value.number == 0 ? 0.0 : value.number);
            return fromAscii(text);
        case ScriptValue::Type::Bool:
            return fromAscii(value.boolean ? "-1" : "0");
        case ScriptValue::Type::Null:
        case ScriptValue::Type::Other:
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> textArgument(const std::vector<ScriptValue>& args, size_t back) {
    const ScriptValue* value = fromEnd(args, back);
    if (value == nullptr) return std::nullopt;
    switch (value->type) {
        case ScriptValue::Type::String:
            return toAnsi(value->text);
        case ScriptValue::Type::Int32:
        case ScriptValue::Type::Double:
        case ScriptValue::Type::Bool:
            return toAnsi(*scriptValueToString(*value));
        default:
            return std::nullopt;
    }
}

std::optional<std::string> valueArgument(const std::vector<ScriptValue>& args, size_t back) {
    const ScriptValue* value = fromEnd(args, back);
    std::optional<std::u16string> text =
        value != nullptr ? scriptValueToString(*value) : std::nullopt;
    if (!text) return std::nullopt;
    return toAnsi(*text);
}

void answerText(ScriptResult* result, const std::string& ansi) {
    if (result == nullptr) return;
    result->type = ScriptResult::Type::String;
    result->text = platform::ansiToUtf16(ansi);
}

void answerTrue(ScriptResult* result) {
    if (result == nullptr) return;
    result->type = ScriptResult::Type::BoolTrue;
    result->text.clear();
}
