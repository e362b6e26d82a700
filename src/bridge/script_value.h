#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A value passed from the page's script, as the platform's script bridge delivers it.
struct ScriptValue {
    enum class Type { Empty, Null, String, Int32, Double, Bool, Other };

    Type type = Type::Empty;
    std::u16string text;   // String
    int32_t integer = 0;   // Int32
    double number = 0;     // Double
    bool boolean = false;  // Bool

    static ScriptValue empty() { return {}; }
    static ScriptValue null() { return of(Type::Null); }
    static ScriptValue string(std::u16string s) {
        ScriptValue v = of(Type::String);
        v.text = std::move(s);
        return v;
    }
    static ScriptValue int32(int32_t n) {
        ScriptValue v = of(Type::Int32);
        v.integer = n;
        return v;
    }
    static ScriptValue real(double x) {
        ScriptValue v = of(Type::Double);
        v.number = x;
        return v;
    }
    static ScriptValue boolValue(bool b) {
        ScriptValue v = of(Type::Bool);
        v.boolean = b;
        return v;
    }
    static ScriptValue other() { return of(Type::Other); }

  private:
    static ScriptValue of(Type t) {
        ScriptValue v;
        v.type = t;
        return v;
    }
};

// The platform's conversion of a value to a string (VariantChangeType to a string, flags 0):
// integers as "%ld", doubles with 15 significant digits as "%.15G", booleans as "-1" and "0",
// empty as "". Null and other values have no string form.
std::optional<std::u16string> scriptValueToString(const ScriptValue& value);

// What a method hands back to the page.
struct ScriptResult {
    enum class Type { None, String, BoolTrue };

    Type type = Type::None;
    std::u16string text;  // String
    // The boolean true is handed over as the 16-bit value 1 (not the usual -1).
    static constexpr int16_t kTrueValue = 1;
};

// The page's arguments as the methods read them, `back` places before the last one (0: the
// last) in the script's order.
//
// A text: strings up to their first NUL; numbers and booleans by their string form, so that a
// page that passes an rbid as a number is served. Nothing for anything else (missing, empty,
// null, objects). ANSI.
std::optional<std::string> textArgument(const std::vector<ScriptValue>& args, size_t back);
// A value to store: strings as they are, everything else by the platform's conversion; nothing
// for missing, null and unconvertible values. ANSI.
std::optional<std::string> valueArgument(const std::vector<ScriptValue>& args, size_t back);

// Writes the answer, when there is a slot for it.
void answerText(ScriptResult* result, const std::string& ansi);
void answerTrue(ScriptResult* result);
