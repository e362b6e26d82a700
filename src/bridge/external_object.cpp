#include "bridge/external_object.h"

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
static_assert(kInstallPackageFromPC == kFirstOwnDispid && kEnd == kPageMethods.size() &&
              std::string_view(kPageMethods[kBackupOutcome].name) == "backupOutcome");

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
    if (const PageMethod* method = findPageMethod(toAnsi(names[0]))) ids[0] = method->dispid;
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
    // The program's own methods take exactly their arguments, as vantu-cli does: a stray one
    // would otherwise take the real one's place ("", "replace" read as "replace").
    if (args.size() != static_cast<size_t>(kPageMethods[static_cast<size_t>(dispid)].arguments))
        return kStatusFalse;
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
    if (dispid >= kGetValue && dispid <= kWriteFileText) {
        invokeSettings(dispid, args, result);
        return kStatusOk;
    }
    // One-argument methods take the last script argument: the platform's script engine hands
    // arguments over last first.
    std::optional<std::string> text = textArg(argFromEnd(args, 0));
    switch (dispid) {
        case kSetUsername:
            if (text) setText(result, methods_.setUsername(*text));
            return kStatusOk;
        case kGetPdaAddr:
            setText(result, methods_.getPdaAddr());
            return kStatusOk;
        case kImportToPDA:
            if (text) setText(result, methods_.importToPDA(std::move(*text)));
            return kStatusOk;
        case kPauseTask:
            if (text) methods_.pauseTask(*text);
            return kStatusOk;
        case kConnToPDA:
        case kPoiToPDA:
        case kDeleteSelectedPoi:
        case kShowRoadbook:
        case kDeleteSelected:
        case kExportFromPDA:
            if (!text) return kStatusFalse;
            setText(result, runDeviceMethod(dispid, std::move(*text)));
            return kStatusOk;
        default:
            return kStatusOk;
    }
}

void ExternalObject::invokeSettings(int32_t dispid, const std::vector<ScriptValue>& args,
                                    ScriptResult* result) {
    // Two-argument methods take the last two script arguments.
    switch (dispid) {
        case kGetValue: {
            auto key = textArg(argFromEnd(args, 0));
            setText(result, key ? settings_.getValue(*key) : std::string());
            return;
        }
        case kWriteValue: {
            auto key = textArg(argFromEnd(args, 1));
            auto value = valueArg(argFromEnd(args, 0));
            if (key && value) settings_.writeValue(*key, value->c_str());
            break;
        }
        case kGetFileText: {
            if (args.size() != 1) break;
            auto name = textArg(argFromEnd(args, 0));
            setText(result, name ? settings_.getFileText(*name) : std::string());
            return;
        }
        default: {
            auto name = textArg(argFromEnd(args, 1));
            auto content = valueArg(argFromEnd(args, 0));
            if (name && content) settings_.writeFileText(*name, *content);
            break;
        }
    }
    setTrue(result);
}

std::string ExternalObject::runDeviceMethod(int32_t dispid, std::string text) {
    switch (dispid) {
        case kConnToPDA:
            return methods_.connToPDA(text);
        case kPoiToPDA:
            return methods_.poiToPDA(text);
        case kDeleteSelectedPoi:
            return methods_.deleteSelectedPoi(text);
        case kShowRoadbook:
            return methods_.showRoadbook(text);
        case kDeleteSelected:
            return methods_.deleteSelected(std::move(text));
        default:
            return methods_.exportFromPDA(std::move(text));
    }
}
