#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/external_methods.h"
#include "bridge/page_method_table.h"
#include "bridge/script_value.h"
#include "bridge/settings_store.h"

// The object the page reaches as window.external: the methods of the table
// (bridge/page_method_table.h), numbered by their DISPID, each served by its kind.
// It converts the script's arguments to ANSI text, refuses a wrong number of arguments where
// the kind says so, applies the device gate, runs the method and converts its answer back. It
// holds no state; the hosts adapt it to their script bridge (IDispatch on Windows, the injected
// bridge on Linux) and keep their own reference counting.
class ExternalObject {
  public:
    static constexpr int32_t kStatusOk = 0;
    static constexpr int32_t kStatusFalse = 1;  // S_FALSE: the page gets no value

    ExternalObject(const SettingsStore& settings, ExternalMethods& operations)
        : settings_(settings), methods_(operations) {}

    // Looks up names[0] only (byte-wise, case-sensitive). A known name writes its DISPID into
    // ids[0]; an unknown one leaves ids[0] as it was. Always succeeds (0).
    int32_t getIDsOfNames(const std::u16string* names, size_t count, int32_t* ids) const;

    // `args` in the script's order (a host whose platform hands them over last first, as
    // IDispatch does, turns them round in its adapter); a method takes its last ones. The result
    // is written only when `result` is given. An unknown DISPID runs nothing (kStatusOk).
    // Returns kStatusOk or kStatusFalse.
    int32_t invoke(int32_t dispid, const std::vector<ScriptValue>& args, ScriptResult* result);

    // The hosts' one entry point: looks `name` up as getIDsOfNames does and invokes it. An
    // unknown name answers nothing (kStatusOk, no result).
    int32_t call(std::u16string_view name, const std::vector<ScriptValue>& args,
                 ScriptResult* result);

  private:
    const SettingsStore& settings_;
    ExternalMethods& methods_;
};
