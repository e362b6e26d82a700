#include "bridge/external_object.h"

#include <optional>
#include <string>

#include "platform/codepage.h"

int32_t ExternalObject::getIDsOfNames(const std::u16string* names, size_t count,
                                      int32_t* ids) const {
    if (names == nullptr || count == 0 || ids == nullptr) return kStatusOk;
    // The script's string counts up to its first NUL character.
    std::u16string_view name(names[0]);
    name = name.substr(0, name.find(u'\0'));
    if (const PageMethod* method = findPageMethod(platform::utf16ToAnsi(name)))
        ids[0] = method->dispid;
    return kStatusOk;
}

int32_t ExternalObject::call(std::u16string_view name, const std::vector<ScriptValue>& args,
                             ScriptResult* result) {
    std::u16string wide(name);
    int32_t dispid = -1;  // what the script engine holds before the lookup
    getIDsOfNames(&wide, 1, &dispid);
    return invoke(dispid, args, result);
}

int32_t ExternalObject::invoke(int32_t dispid, const std::vector<ScriptValue>& args,
                               ScriptResult* result) {
    const PageMethod* method = pageMethodAt(dispid);
    if (method == nullptr) return kStatusOk;
    const MethodKind kind = method->kind;
    if (takesExactArguments(kind) && args.size() != method->argumentCount()) return kStatusFalse;
    if (isGated(kind) && !methods_.checkConnection()) return kStatusFalse;
    if (const auto* setting = std::get_if<SettingHandler>(&method->handler)) {
        (*setting)(settings_, args, result);
        return kStatusOk;
    }
    std::optional<std::string> text =
        method->argumentCount() == 0 ? std::string() : textArgument(args, 0);
    if (!text) return refusesWithoutText(kind) ? kStatusFalse : kStatusOk;
    MethodOutcome outcome = methods_.run(*method, std::move(*text));
    if (kind != MethodKind::Command) answerText(result, outcome.answer);
    return kStatusOk;
}
