#include "bridge/external_object.h"

#include <cstring>
#include <optional>
#include <string>

#include "platform/codepage.h"

namespace {

enum Dispid : int32_t {
    kGetValue = 0,
    kWriteValue,
    kGetFileText,
    kWriteFileText,
    kSetUsername,
    kConnToPDA,
    kGetPdaAddr,
    kPoiToPDA,
    kDeleteSelectedPoi,
    kShowRoadbook,
    kImportToPDA,
    kDeleteSelected,
    kExportFromPDA,
    kPauseTask,
    kInstallPackageFromPC,
    kInstallGpxFromPC,
    kSaveGpxToPC,
    kBackupToPC,
    kRestoreFromPC,
    kBackupOutcome,
    kEnd,
};
static_assert(kInstallPackageFromPC == ExternalObject::kFirstOwnDispid &&
              kEnd - kInstallPackageFromPC == ExternalObject::kOwnMethodNames.size());

std::string toAnsi(const std::u16string& text) {
    // The script's string counts up to its first NUL character.
    size_t nul = text.find(u'\0');
    return platform::utf16ToAnsi(std::u16string_view(text).substr(0, nul));
}

// The argument `back` places before the last one (0: the last), in the script's order.
const ScriptValue* argFromEnd(const std::vector<ScriptValue>& args, size_t back) {
    return back < args.size() ? &args[args.size() - 1 - back] : nullptr;
}

// A text argument. Strings give their text; numbers and booleans give their string form, so a
// page that passes an rbid as a number is served; anything else (missing, empty, null, objects)
// gives no text.
std::optional<std::string> textArg(const ScriptValue* value) {
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

// The value argument of writeValue and writeFileText: strings as they are, everything else by
// the platform's conversion. Missing, null and unconvertible values give nothing, and the caller
// then stores nothing, so that nothing already stored is lost.
std::optional<std::string> valueArg(const ScriptValue* value) {
    if (value == nullptr) return std::nullopt;
    std::optional<std::u16string> text = scriptValueToString(*value);
    if (!text) return std::nullopt;
    return toAnsi(*text);
}

void setText(ScriptResult* result, const std::string& ansi) {
    if (result == nullptr) return;
    result->type = ScriptResult::Type::String;
    result->text = platform::ansiToUtf16(ansi);
}

void setTrue(ScriptResult* result) {
    if (result == nullptr) return;
    result->type = ScriptResult::Type::BoolTrue;
    result->text.clear();
}

}  // namespace

int32_t ExternalObject::getIDsOfNames(const std::u16string* names, size_t count,
                                      int32_t* ids) const {
    if (names == nullptr || count == 0 || ids == nullptr) return kStatusOk;
    std::string name = toAnsi(names[0]);
    for (size_t i = 0; i < kMethodNames.size(); ++i) {
        if (name == kMethodNames[i]) {
            ids[0] = static_cast<int32_t>(i);
            return kStatusOk;
        }
    }
    for (size_t i = 0; i < kOwnMethodNames.size(); ++i) {
        if (name == kOwnMethodNames[i]) {
            ids[0] = kFirstOwnDispid + static_cast<int32_t>(i);
            break;
        }
    }
    return kStatusOk;
}

int32_t ExternalObject::call(std::u16string_view name, const std::vector<ScriptValue>& args,
                             ScriptResult* result) {
    std::u16string wide(name);
    int32_t dispid = -1;  // what the script engine holds before the lookup
    getIDsOfNames(&wide, 1, &dispid);
    return invoke(dispid, args, result);
}

int32_t ExternalObject::invokeOwn(int32_t dispid, const std::vector<ScriptValue>& args,
                                  ScriptResult* result) {
    if (dispid == kBackupOutcome) {
        setText(result, methods_.backupOutcome());
        return kStatusOk;
    }
    if (!methods_.checkConnection()) return kStatusFalse;
    auto text = textArg(argFromEnd(args, 0));
    if (!text) return kStatusFalse;
    switch (dispid) {
        case kInstallPackageFromPC:
            setText(result, methods_.installPackageFromPC(*text));
            break;
        case kInstallGpxFromPC:
            setText(result, methods_.installGpxFromPC(*text));
            break;
        case kBackupToPC:
            setText(result, methods_.backupToPC(*text));
            break;
        case kRestoreFromPC:
            setText(result, methods_.restoreFromPC(*text));
            break;
        default:
            setText(result, methods_.saveGpxToPC(*text));
            break;
    }
    return kStatusOk;
}

int32_t ExternalObject::invoke(int32_t dispid, const std::vector<ScriptValue>& args,
                               ScriptResult* result) {
    if (dispid >= kFirstOwnDispid && dispid < kEnd) return invokeOwn(dispid, args, result);
    if (dispid >= kConnToPDA && dispid <= kExportFromPDA && !methods_.checkConnection())
        return kStatusFalse;

    // Counted from the end, as the platform's script engine hands arguments over last first:
    // one-argument methods take the last script argument, two-argument methods the last two.
    const ScriptValue* single = argFromEnd(args, 0);
    switch (dispid) {
        case kGetValue: {
            auto key = textArg(single);
            setText(result, key ? settings_.getValue(*key) : std::string());
            return kStatusOk;
        }
        case kWriteValue: {
            auto key = textArg(argFromEnd(args, 1));
            auto value = valueArg(argFromEnd(args, 0));
            if (key && value) settings_.writeValue(*key, value->c_str());
            setTrue(result);
            return kStatusOk;
        }
        case kGetFileText: {
            if (args.size() != 1) {
                setTrue(result);
                return kStatusOk;
            }
            auto name = textArg(single);
            setText(result, name ? settings_.getFileText(*name) : std::string());
            return kStatusOk;
        }
        case kWriteFileText: {
            auto name = textArg(argFromEnd(args, 1));
            auto content = valueArg(argFromEnd(args, 0));
            if (name && content) settings_.writeFileText(*name, *content);
            setTrue(result);
            return kStatusOk;
        }
        case kSetUsername: {
            auto text = textArg(single);
            if (text) setText(result, methods_.setUsername(*text));
            return kStatusOk;
        }
        case kGetPdaAddr:
            setText(result, methods_.getPdaAddr());
            return kStatusOk;
        case kImportToPDA: {
            auto text = textArg(single);
            if (text) setText(result, methods_.importToPDA(std::move(*text)));
            return kStatusOk;
        }
        case kPauseTask: {
            auto text = textArg(single);
            if (text) methods_.pauseTask(*text);
            return kStatusOk;
        }
        case kConnToPDA:
        case kPoiToPDA:
        case kDeleteSelectedPoi:
        case kShowRoadbook:
        case kDeleteSelected:
        case kExportFromPDA: {
            auto text = textArg(single);
            if (!text) return kStatusFalse;
            std::string answer;
            switch (dispid) {
                case kConnToPDA:
                    answer = methods_.connToPDA(*text);
                    break;
                case kPoiToPDA:
                    answer = methods_.poiToPDA(*text);
                    break;
                case kDeleteSelectedPoi:
                    answer = methods_.deleteSelectedPoi(*text);
                    break;
                case kShowRoadbook:
                    answer = methods_.showRoadbook(*text);
                    break;
                case kDeleteSelected:
                    answer = methods_.deleteSelected(std::move(*text));
                    break;
                default:
                    answer = methods_.exportFromPDA(std::move(*text));
                    break;
            }
            setText(result, answer);
            return kStatusOk;
        }
        default:
            return kStatusOk;
    }
}
