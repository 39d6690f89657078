#pragma once
// Long compression work gives way to everything else the user runs: the
// thread that does it lowers its own scheduling priority to the lowest.

namespace platform {

// The calling thread only (Linux keeps a nice value per thread). Without the
// right to lower it (never the case for lowering) nothing changes.
void LowerCurrentThreadPriority();

}  // namespace platform
