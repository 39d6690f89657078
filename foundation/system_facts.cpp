#include "foundation/system_facts.h"

namespace foundation {

int32_t GetWindowsKind() { return kWindowsKindVistaOrLater; }

bool IsVistaOrLater() { return true; }

}  // namespace foundation
