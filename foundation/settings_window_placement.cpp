#include "foundation/settings_window_placement.h"

#include "foundation/byte_cursor.h"
#include "foundation/operation_status.h"
#include "foundation/settings.h"

#include <array>
#include <mutex>

namespace foundation {

namespace {

constexpr size_t kRecordBytes = 20;
// The value is read into a buffer of this size, so a longer one is refused,
// never copied over the record.
constexpr size_t kReadBufferBytes = 255;

std::mutex& KeptLock() {
    static std::mutex lock;
    return lock;
}
std::optional<WindowPlacementRecord>& Kept() {
    static std::optional<WindowPlacementRecord> kept;
    return kept;
}

}  // namespace

bool IsAcceptablePlacement(const WindowPlacementRecord& r, const DesktopRect& d) {
    if (r.maximized == 1) return true;
    if (r.maximized != 0) return false;
    int64_t desktopWidth = int64_t{d.right} - d.left;
    int64_t desktopHeight = int64_t{d.bottom} - d.top;
    return r.width >= kMinWindowSide && r.height >= kMinWindowSide && r.width <= desktopWidth &&
           r.height <= desktopHeight && r.left >= d.left && r.top >= d.top &&
           int64_t{r.left} + r.width <= int64_t{d.right} + kDesktopSlack &&
           int64_t{r.top} + r.height <= int64_t{d.bottom} + kDesktopSlack;
}

std::optional<WindowPlacementRecord> LoadMainWindowPlacement(const DesktopRect& desktop) {
    if (ConsoleMode) return std::nullopt;
    std::array<uint8_t, kReadBufferBytes> buffer{};
    size_t size = 0;
    if (!ReadSettingBinary(u"MainWindow", buffer, &size) || size != kRecordBytes) return std::nullopt;
    ByteCursor cursor(buffer.data(), size);
    WindowPlacementRecord record;
    record.left = static_cast<int32_t>(cursor.Le32(0));
    record.top = static_cast<int32_t>(cursor.Le32(4));
    record.width = static_cast<int32_t>(cursor.Le32(8));
    record.height = static_cast<int32_t>(cursor.Le32(12));
    record.maximized = static_cast<int32_t>(cursor.Le32(16));
    if (!cursor.Ok() || !IsAcceptablePlacement(record, desktop)) return std::nullopt;
    std::lock_guard<std::mutex> guard(KeptLock());
    Kept() = record;
    return record;
}

bool SaveMainWindowPlacement(const WindowPlacementRecord& currentRect, bool maximized) {
    if (ConsoleMode) return false;
    WindowPlacementRecord record = currentRect;
    {
        std::lock_guard<std::mutex> guard(KeptLock());
        if (maximized) {
            if (Kept()) record = *Kept();
            record.maximized = 1;
        } else {
            record.maximized = 0;
            Kept() = record;
        }
    }
    std::array<uint8_t, kRecordBytes> bytes{};
    ByteWriter writer(bytes.data(), bytes.size());
    writer.Le32(0, static_cast<uint32_t>(record.left));
    writer.Le32(4, static_cast<uint32_t>(record.top));
    writer.Le32(8, static_cast<uint32_t>(record.width));
    writer.Le32(12, static_cast<uint32_t>(record.height));
    writer.Le32(16, static_cast<uint32_t>(record.maximized));
    return WriteSettingBinary(u"MainWindow", bytes);
}

void ResetMainWindowPlacementForTests() {
    std::lock_guard<std::mutex> guard(KeptLock());
    Kept().reset();
}

}  // namespace foundation
