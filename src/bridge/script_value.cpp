#include "bridge/script_value.h"

#include <cmath>
#include <cstdio>

namespace {

std::u16string fromAscii(const char* s) {
    std::u16string out;
    while (*s)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s++)));
    return out;
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
