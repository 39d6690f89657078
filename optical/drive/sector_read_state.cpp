#include "optical/drive/sector_read_state.h"

#include <mutex>

namespace optical {

std::atomic<uint32_t> g_ReadErrorRun{0};
std::atomic<int32_t> g_SkipCountdown{0};
std::atomic<bool> g_IgnoreAllReadErrors{false};
std::atomic<bool> g_ReadHadErrors{false};

namespace {
std::mutex g_sourceLock;
std::u16string g_sourceName;
std::atomic<bool> g_jobRunning{false};
}  // namespace

void SetImageJobSourceName(std::u16string_view name) {
    std::lock_guard<std::mutex> guard(g_sourceLock);
    g_sourceName.assign(name);
    g_jobRunning.store(!name.empty());
}

std::u16string ImageJobSourceName() {
    std::lock_guard<std::mutex> guard(g_sourceLock);
    return g_sourceName;
}

bool ImageJobRunning() { return g_jobRunning.load(); }

void ResetSectorReadState() {
    g_ReadErrorRun = 0;
    g_SkipCountdown = 0;
    g_IgnoreAllReadErrors = false;
    g_ReadHadErrors = false;
    SetImageJobSourceName(u"");
}

}  // namespace optical
