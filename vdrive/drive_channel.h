#pragma once
// The client end of the virtual-drive channel: one request at a time through
// the helper's shared mapping, serialised by its events across every process
// that talks to the drives. A helper that has died is noticed (its running
// mutex is gone) instead of waited for.

#include <optional>

#include "vdrive/channel_layout.h"

namespace vdrive {

// True when the helper's channel is there and the helper holds its mutex.
bool HelperRunning();

// Sends the request and returns the helper's reply; none when the helper does
// not run (said to the user: "Failed to send message to the virtual drive.")
// or went away while the request waited.
std::optional<ChannelReply> SendVirtualDriveRequest(const RequestBytes& request);

// How long one wait slice lasts before the helper is looked for again.
void SetChannelWaitSliceForTests(uint32_t milliseconds);

}  // namespace vdrive
