#pragma once
// What AbortOutOfMemory (foundation/memory.h) shows before the program ends.

#include "foundation/services.h"

namespace foundation {

// The message of AbortOutOfMemory. The stand-in shows the stop-icon box of the
// messages layer; tests install a quiet one. Not owned; null restores the
// stand-in; the installer returns what was installed before
// (foundation/services.h).
class IOutOfMemoryServices {
public:
    virtual ~IOutOfMemoryServices() = default;
    virtual void ReportOutOfMemory() = 0;
};
IOutOfMemoryServices* SetOutOfMemoryServices(IOutOfMemoryServices* services);

}  // namespace foundation
