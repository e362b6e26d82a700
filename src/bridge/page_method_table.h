#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// Every method the page reaches on window.external, in DISPID order: the portal's 14, then the
// program's own. The external object, the hosts' script bridges, vantu-cli and the tests all
// read their names here.
struct PageMethod {
    const char* name;
    int32_t dispid;
    int arguments;  // as the page calls it
    bool own;       // the program's own, not the portal's
};

inline constexpr std::array<PageMethod, 20> kPageMethods = {{
    {"getValue", 0, 1, false},
    {"writeValue", 1, 2, false},
    {"getFileText", 2, 1, false},
    {"writeFileText", 3, 2, false},
    {"SetUsername", 4, 1, false},
    {"connToPDA", 5, 1, false},
    {"GetPdaAddr", 6, 0, false},
    {"poiToPDA", 7, 1, false},
    {"deleteSelectedPoi", 8, 1, false},
    {"showRoadbook", 9, 1, false},
    {"importToPDA", 10, 1, false},
    {"deleteSelected", 11, 1, false},
    {"exportFromPDA", 12, 1, false},
    {"PauseTask", 13, 1, false},
    {"installPackageFromPC", 14, 1, true},
    {"installGpxFromPC", 15, 1, true},
    {"saveGpxToPC", 16, 1, true},
    {"backupToPC", 17, 1, true},
    {"restoreFromPC", 18, 1, true},
    {"backupOutcome", 19, 0, true},
}};

inline constexpr int32_t kFirstOwnDispid = 14;

// The method of that name (byte-wise, case-sensitive), or nothing.
constexpr const PageMethod* findPageMethod(std::string_view name) {
    for (const PageMethod& method : kPageMethods)
        if (name == method.name) return &method;
    return nullptr;
}

namespace page_method_checks {
constexpr bool numberedInOrder() {
    for (size_t i = 0; i < kPageMethods.size(); ++i)
        if (kPageMethods[i].dispid != static_cast<int32_t>(i) ||
            kPageMethods[i].own != (kPageMethods[i].dispid >= kFirstOwnDispid))
            return false;
    return true;
}
static_assert(numberedInOrder(), "a method's DISPID is its place; the program's own come last");
}  // namespace page_method_checks
