#include "vdrive/drive_channel.h"

#include <atomic>
#include <cstring>
#include <memory>

#include "foundation/messages.h"
#include "platform/named_objects.h"
#include "platform/sync.h"

namespace vdrive {
namespace {

uint32_t g_waitSliceMs = 10000;

struct Channel {
    std::unique_ptr<platform::SharedMapping> mapping;
    std::unique_ptr<platform::NamedEvent> channelFree, requestReady, replyReady;
};

bool Connect(Channel& c) {
    c.mapping = platform::SharedMapping::Open(ChannelMappingName());
    // A mapping smaller than both areas is not the helper's.
    if (!c.mapping || c.mapping->Size() < kChannelBytes) return false;
    c.channelFree = platform::NamedEvent::Open(ChannelFreeEventName());
    c.requestReady = platform::NamedEvent::Open(RequestReadyEventName());
    c.replyReady = platform::NamedEvent::Open(ReplyReadyEventName());
    return c.channelFree && c.requestReady && c.replyReady;
}

// Waits in slices; false when the helper is gone or the wait failed.
bool WaitWhileHelperRuns(platform::NamedEvent& event) {
    for (;;) {
        const uint32_t r = event.Wait(g_waitSliceMs);
        if (r == platform::kWaitObject0) return true;
        if (r != platform::kWaitTimeout || !HelperRunning()) return false;
    }
}

}  // namespace

bool HelperRunning() { return platform::NamedMutex::Open(HelperRunningMutexName()) != nullptr; }

void SetChannelWaitSliceForTests(uint32_t milliseconds) { g_waitSliceMs = milliseconds; }

std::optional<ChannelReply> SendVirtualDriveRequest(const RequestBytes& request) {
    Channel c;
    if (!HelperRunning() || !Connect(c) || request.size() > kAreaBytes) {
        foundation::AppMessageBox(u"Failed to send message to the virtual drive.", 0);
        return std::nullopt;
    }
    if (!WaitWhileHelperRuns(*c.channelFree)) return std::nullopt;
    auto* base = static_cast<uint8_t*>(c.mapping->Data());
    // Held until the channel is given back: should this process die first,
    // the helper sees the slot held by no one and frees the channel.
    const std::unique_ptr<platform::NamedMutex> slot = platform::NamedMutex::Create(ChannelSlotMutexName(), false);
    std::atomic_ref<uint32_t> taken(*reinterpret_cast<uint32_t*>(base + kSlotTakenOffset));
    taken.store(1, std::memory_order_release);
    auto giveBack = [&] {
        taken.store(0, std::memory_order_release);
        c.channelFree->Set();
    };
    std::memset(base, 0, kAreaBytes);
    std::memcpy(base, request.data(), request.size());
    std::memset(base + kReplyAreaOffset, 0, kAreaBytes);
    c.requestReady->Set();
    if (!WaitWhileHelperRuns(*c.replyReady)) return std::nullopt;
    const ChannelReply reply = GetReply(base + kReplyAreaOffset);
    giveBack();
    return reply;
}

}  // namespace vdrive
