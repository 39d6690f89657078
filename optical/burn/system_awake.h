#pragma once
// Keeps the machine from sleeping or idling while a burn, an erase or a verify
// runs: a logind inhibitor lock ("sleep:idle"), taken on the first call and
// released by KeepSystemAwake(false). Without logind (or without sd-bus in the
// build) it does nothing. Cheap to call per write chunk.

namespace optical {

void KeepSystemAwake(bool on);
// True while the inhibitor lock is held.
bool SystemKeptAwake();

}  // namespace optical
