#include "foundation/memory.h"
#include "foundation/out_of_memory_services.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/services.h"
#include "platform/text.h"

namespace foundation {
namespace {

class OutOfMemoryBox final : public IOutOfMemoryServices {
public:
    void ReportOutOfMemory() override {
        AppMessageBox(GetLangString(kStringOutOfMemory, u"Out of memory. Program abort."), kMbIconStop);
    }
};

ServiceSlot<IOutOfMemoryServices, OutOfMemoryBox>& OutOfMemorySlot() {
    static ServiceSlot<IOutOfMemoryServices, OutOfMemoryBox> slot;
    return slot;
}
// Successful allocations left before injected failures start; -1 = no injection.
std::atomic<int64_t> g_failCountdown{-1};

void NewHandler() { AbortOutOfMemory(); }

}  // namespace

bool AllocationShouldFail() {
    int64_t left = g_failCountdown.load();
    while (left >= 0) {
        if (left == 0) return true;
        if (g_failCountdown.compare_exchange_weak(left, left - 1)) return false;
    }
    return false;
}

void FailAllocationsAfter(int64_t successes) { g_failCountdown.store(successes < 0 ? 0 : successes); }
void ClearAllocationFailure() { g_failCountdown.store(-1); }

void* MemAlloc(size_t size) {
    if (AllocationShouldFail()) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* MemAllocZero(size_t size) {
    if (AllocationShouldFail()) return nullptr;
    return std::calloc(size == 0 ? 1 : size, 1);
}

void* MemAllocZeroOrAbort(size_t size) {
    if (size == 0) return nullptr;
    void* block = MemAllocZero(size);
    if (!block) AbortOutOfMemory();
    return block;
}

void* MemRealloc(void* old, size_t keep, size_t newSize) {
    void* block = MemAlloc(newSize);
    if (!block) return nullptr;
    // The keep count comes from the caller's old size; it must never carry the
    // copy past the end of the new block.
    if (old) {
        std::memcpy(block, old, std::min(keep, newSize));
        std::free(old);
    }
    return block;
}

void MemFree(void* block) { std::free(block); }

char16_t* DupStringW(const char16_t* text) {
    if (!text) return nullptr;
    size_t length = std::char_traits<char16_t>::length(text);
    auto* copy = static_cast<char16_t*>(MemAlloc((length + 1) * sizeof(char16_t)));
    if (!copy) return nullptr;
    std::memcpy(copy, text, (length + 1) * sizeof(char16_t));
    return copy;
}

void StrLowerW(char16_t* text) {
    if (!text) return;
    for (; *text; ++text) *text = platform::ToLowerChar(*text);
}

void StrLowerW(std::u16string& text) {
    for (char16_t& c : text) c = platform::ToLowerChar(c);
}

IOutOfMemoryServices* SetOutOfMemoryServices(IOutOfMemoryServices* services) {
    return OutOfMemorySlot().Install(services);
}

void AbortOutOfMemory() {
    // The box itself allocates; should that fail too, the second pass through
    // here only writes the plain line.
    static std::atomic<bool> aborting{false};
    static const char kText[] = "Out of memory. Program abort.\n";
    ssize_t ignored = ::write(STDERR_FILENO, kText, sizeof(kText) - 1);
    (void)ignored;
    if (!aborting.exchange(true)) {
        ClearAllocationFailure();
        OutOfMemorySlot().Get().ReportOutOfMemory();
    }
    ExitProgram(kOutOfMemoryExitCode);
}

void ExitProgram(int exitCode) { ::_exit(exitCode); }

void InstallOutOfMemoryPolicy() { std::set_new_handler(&NewHandler); }

}  // namespace foundation
