#pragma once
// The Windows kind several parts of the program branch on (date conversions,
// the diagnostic log). On Linux every such branch takes the "Vista or later"
// road: there is one implementation of each, and this is the one place that
// says so.

#include <cstdint>

namespace foundation {

enum : int32_t {
    kWindowsKindOther = 0,
    kWindowsKind98Me = 1,
    kWindowsKind2000 = 2,
    kWindowsKindXp = 3,
    kWindowsKindServer2003 = 4,
    kWindowsKindWow64 = 5,
    kWindowsKindVistaOrLater = 6,
};

// Always kWindowsKindVistaOrLater.
int32_t GetWindowsKind();
// Always true.
bool IsVistaOrLater();

}  // namespace foundation
