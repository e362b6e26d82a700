#include "app/external_requests.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "app/page_messages.h"
#include "platform/codepage.h"
#include "platform/utf8_text.h"

namespace {

// The text from `at` up to the next `end`; moves `at` past that `end`.
std::optional<std::u16string_view> field(std::u16string_view body, size_t& at, char16_t end) {
    size_t stop = body.find(end, at);
    if (stop == std::u16string_view::npos) return std::nullopt;
    std::u16string_view text = body.substr(at, stop - at);
    at = stop + 1;
    return text;
}

std::optional<std::string> ascii(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x80) return std::nullopt;
        out += static_cast<char>(c);
    }
    return out;
}

template <typename T>
std::optional<T> number(std::u16string_view text) {
    std::optional<std::string> digits = ascii(text);
    if (!digits || digits->empty()) return std::nullopt;
    T value{};
    const char* first = digits->data();
    const char* last = first + digits->size();
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) return std::nullopt;
    return value;
}

std::optional<double> scriptNumber(std::u16string_view text) {
    // The script writes these three by name; from_chars spells them differently.
    if (text == u"NaN") return std::numeric_limits<double>::quiet_NaN();
    if (text == u"Infinity") return std::numeric_limits<double>::infinity();
    if (text == u"-Infinity") return -std::numeric_limits<double>::infinity();
    return number<double>(text);
}

// The typed value at `at`, which moves past it.
std::optional<ScriptValue> nextValue(std::u16string_view body, size_t& at) {
    char16_t type = body[at++];
    if (type == u's') {
        auto length = field(body, at, u':');
        auto count = length ? number<uint32_t>(*length) : std::nullopt;
        if (!count || *count > body.size() - at) return std::nullopt;
        std::u16string text(body.substr(at, *count));
        at += *count;
        return ScriptValue::string(std::move(text));
    }
    auto payload = field(body, at, u';');
    if (!payload) return std::nullopt;
    switch (type) {
        case u'i': {
            auto n = number<int32_t>(*payload);
            return n ? std::optional(ScriptValue::int32(*n)) : std::nullopt;
        }
        case u'd': {
            auto x = scriptNumber(*payload);
            return x ? std::optional(ScriptValue::real(*x)) : std::nullopt;
        }
        case u'b':
            if (*payload != u"0" && *payload != u"1") return std::nullopt;
            return ScriptValue::boolValue(*payload == u"1");
        case u'n':
        case u'u':
        case u'o':
            if (!payload->empty()) return std::nullopt;
            return type == u'n'   ? ScriptValue::null()
                   : type == u'u' ? ScriptValue::empty()
                                  : ScriptValue::other();
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<ExternalRequest> decodeExternalRequest(std::string_view utf8Body) {
    std::u16string body = utf8::toUtf16(utf8Body);
    std::u16string_view view(body);
    size_t at = 0;
    auto key = field(view, at, u'\n');
    std::optional<std::string> keyText = key ? ascii(*key) : std::nullopt;
    if (!keyText) return std::nullopt;
    ExternalRequest request{*keyText, {}};
    while (at < view.size()) {
        std::optional<ScriptValue> value = nextValue(view, at);
        if (!value) return std::nullopt;
        request.args.push_back(std::move(*value));
    }
    return request;
}

std::string encodeExternalAnswer(const ScriptResult& result) {
    switch (result.type) {
        case ScriptResult::Type::String: {
            std::string answer = "s";
            answer += utf8::fromUtf16(result.text);
            return answer;
        }
        case ScriptResult::Type::BoolTrue:
            return "t";
        case ScriptResult::Type::None:
            break;
    }
    return {};
}

std::string ExternalRequests::answer(std::string_view method, std::string_view origin,
                                     std::string_view body, std::string_view mainDocument) {
    std::optional<ExternalRequest> request = decodeExternalRequest(body);
    if (!request || !trust_.trusts(mainDocument)) return {};
    bool keyed = !key_.empty() && request->key == key_;
    if (!keyed && !trust_.origins().trusts(origin)) return {};

    ScriptResult result;
    external_.call(utf8::toUtf16(method), request->args, &result);
    return encodeExternalAnswer(result);
}

std::string pageCallScript(const PageCall& call) {
    std::string name = jsStringLiteral(platform::ansiToUtf8(call.function), true);
    std::string script = "(function(){var f=window[" + name +
                         "];if(typeof f!==\"function\")return false;window[" + name + "](";
    for (size_t i = 0; i < call.args.size(); ++i) {
        if (i) script += ',';
        script += jsStringLiteral(platform::ansiToUtf8(call.args[i]), true);
    }
    return script + ");return true})()";
}
