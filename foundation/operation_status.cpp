#include "foundation/operation_status.h"

#include "platform/last_error.h"

#include <mutex>

namespace foundation {

std::atomic<int32_t> OperationStatus{kStatusNone};
std::atomic<int32_t> StandingOverwriteAnswer{-1};
std::atomic<bool> ConsoleMode{false};
std::atomic<bool> LaunchedVirtualDriveMode{false};
std::atomic<bool> LaunchedMountMode{false};
std::atomic<bool> OverwriteAll{false};
std::atomic<bool> MessageBoxOpen{false};

namespace {

// The two texts a worker writes while the window thread reads them.
struct SharedTexts {
    std::mutex lock;
    std::optional<std::u16string> currentFileName;
    std::u16string lastErrorText;
};

SharedTexts& Texts() {
    static SharedTexts texts;
    return texts;
}

}  // namespace

void ResetOperationStatus() {
    OperationStatus = kStatusNone;
    SetCurrentFileName(std::nullopt);
}

void SetCurrentFileName(std::optional<std::u16string_view> path) {
    SharedTexts& t = Texts();
    std::lock_guard<std::mutex> guard(t.lock);
    if (path)
        t.currentFileName = std::u16string(*path);
    else
        t.currentFileName.reset();
}

std::optional<std::u16string> GetCurrentFileName() {
    SharedTexts& t = Texts();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.currentFileName;
}

void SetLastErrorText(std::optional<std::u16string_view> text) {
    SharedTexts& t = Texts();
    if (!text) {
        {
            std::lock_guard<std::mutex> guard(t.lock);
            t.lastErrorText.clear();
        }
        platform::SetLastError(platform::kErrorSuccess);
        return;
    }
    std::u16string_view kept = text->substr(0, kLastErrorTextMaxChars);
    // Never leave half of a surrogate pair at the cut.
    if (kept.size() == kLastErrorTextMaxChars && text->size() > kLastErrorTextMaxChars &&
        kept.back() >= 0xD800 && kept.back() <= 0xDBFF)
        kept.remove_suffix(1);
    std::lock_guard<std::mutex> guard(t.lock);
    t.lastErrorText.assign(kept);
}

void Refuse(std::u16string_view text) {
    SetLastErrorText(text);
    platform::SetLastError(platform::kErrorInvalidParameter);
}

std::u16string GetLastErrorTextOverride() {
    SharedTexts& t = Texts();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.lastErrorText;
}

void ResetProcessStateForTests() {
    OperationStatus = kStatusNone;
    StandingOverwriteAnswer = -1;
    ConsoleMode = false;
    LaunchedVirtualDriveMode = false;
    LaunchedMountMode = false;
    OverwriteAll = false;
    MessageBoxOpen = false;
    SharedTexts& t = Texts();
    std::lock_guard<std::mutex> guard(t.lock);
    t.currentFileName.reset();
    t.lastErrorText.clear();
}

}  // namespace foundation
