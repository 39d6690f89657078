#include "app/dialog_services.h"

#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "containers/daa/daa_container.h"
#include "containers/daa/daa_password.h"
#include "containers/mzp/mzp_container.h"
#include "containers/mzp/mzp_format.h"
#include "containers/xdi/xdi_container.h"
#include "containers/xdi/xdi_header_layout.h"
#include "foundation/byte_order.h"
#include "foundation/file_io.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/name_lookup.h"
#include "foundation/operation_status.h"
#include "foundation/password_text.h"
#include "foundation/prompts.h"
#include "foundation/volume_file_open.h"
#include "image/document/image_context.h"
#include "platform/text.h"

namespace app {
namespace {

// Every volume and part header of the three families fits here; a shorter
// file holds none.
constexpr size_t kVolumeHeaderProbeBytes = 40;
constexpr size_t kDaaHxiLimit = 64;
constexpr size_t kOtherImageLimit = 32;
constexpr size_t kArchiveLimit = 256;

struct CachedEntry {
    std::u16string path;
    uint64_t size = 0;
    int64_t modifiedSeconds = 0;
    int64_t modifiedNanoseconds = 0;
    std::string password;
};

struct PasswordState {
    std::mutex lock;
    std::vector<CachedEntry> cache;
    std::u16string commandLine;
    bool commandLineSet = false;
    // The document last given a password and what it was given: a reader
    // that asks again for the same document with that password still in
    // place has found it wrong.
    const image::ImageContext* lastDocument = nullptr;
    std::string lastGiven;
};

PasswordState& State() {
    static PasswordState state;
    return state;
}

bool FileStamp(std::u16string_view path, uint64_t& size, int64_t& seconds, int64_t& nanoseconds) {
    struct stat st {};
    if (::stat(platform::Utf16ToUtf8(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = uint64_t(st.st_size);
    seconds = int64_t(st.st_mtim.tv_sec);
    nanoseconds = int64_t(st.st_mtim.tv_nsec);
    return true;
}

std::string_view GivenPassword(const image::ImageContext& ctx) {
    return std::string_view(ctx.outputPassword.data(), ::strnlen(ctx.outputPassword.data(), ctx.outputPassword.size()));
}

void StorePassword(image::ImageContext& ctx, std::string_view bytes) {
    ctx.outputPassword.fill(0);
    ctx.writePassword.fill(0);
    std::memcpy(ctx.outputPassword.data(), bytes.data(), bytes.size());
    std::memcpy(ctx.writePassword.data(), bytes.data(), bytes.size());
    PasswordState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.lastDocument = &ctx;
    state.lastGiven.assign(bytes);
}

bool TakeCommandLinePassword(std::u16string& password) {
    PasswordState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.commandLineSet) return false;
    password = std::move(state.commandLine);
    state.commandLine.clear();
    state.commandLineSet = false;
    return true;
}

// Kind 6; false when the user cancelled (or nobody can answer).
bool AskForPasswordText(const image::ImageContext& ctx, std::u16string& typed) {
    auto request = std::make_shared<foundation::UserPromptRequest>();
    request->kind = foundation::prompt_kind::kPassword;
    request->text = foundation::ConsoleMode ? std::u16string(u"Please input password:")
                                            : foundation::GetLangString(30630, u"Please input the password:");
    request->path = ctx.imagePath;
    if (foundation::RunUserPromptRequest(request) != 0 || request->answer == foundation::kIdCancel) return false;
    typed = std::move(request->outText);
    return true;
}

// Kind 7: true to try again.
bool AskTryAgain() {
    int32_t answer = foundation::kIdCancel;
    foundation::RunUserPrompt(foundation::prompt_kind::kWrongPassword, 0,
                              foundation::GetLangString(30660, u"The password is wrong."), 0, nullptr, &answer,
                              nullptr);
    return answer == foundation::kIdOk;
}

bool StartsWith(const uint8_t* bytes, const char* text, size_t n) { return std::memcmp(bytes, text, n) == 0; }

bool IsXdiPartHeader(const uint8_t* head) {
    return StartsWith(head, containers::xdi_header::kMagicText, containers::xdi_header::kMagicBytes) &&
           foundation::ReadLE32(head + containers::xdi_part::kHeaderLength) == containers::kXdiPartHeaderBytes &&
           foundation::ReadLE32(head + containers::xdi_part::kMark) == containers::xdi_part::kMarkWritten;
}

// Asks (kinds 3 and 4) for volume `index` of a set until the user names a file
// that opens and is none of the set's files already open, or cancels. `named`
// becomes the path given.
platform::FileHandle AskForVolume(int32_t kind, intptr_t mode, void* set, std::u16string& named,
                                  const std::vector<platform::FileHandle>& openFiles) {
    for (;;) {
        auto request = std::make_shared<foundation::UserPromptRequest>();
        request->kind = kind;
        request->value = mode;
        request->context = set;
        request->text = named;
        request->path = named;
        if (foundation::RunUserPromptRequest(request) != 0 || request->answer != foundation::kIdOk ||
            !request->outHandle)
            return nullptr;
        foundation::UniqueFile file(request->outHandle);
        bool repeated = false;
        for (platform::FileHandle open : openFiles) repeated = repeated || foundation::SameOpenFile(open, file.get());
        if (repeated) {
            // One file cannot stand for two volumes: the set would read its
            // own bytes back in place of the missing ones.
            foundation::AppMessageBox(request->outText + u"\r\n\r\n" +
                                          u"This file is already open as another volume of the set.",
                                      foundation::kMbOk | foundation::kMbIconStop);
            continue;
        }
        named = request->outText;
        return file.release();
    }
}

}  // namespace

size_t PasswordLimitOf(const image::ImageContext& ctx, const uint8_t* passwordCheck) {
    if (ctx.archiveLink.get()) return kArchiveLimit;
    if (passwordCheck) return kDaaHxiLimit;
    uint8_t head[16] = {};
    if (!ctx.imageHandle || foundation::ReadFileAtCount(ctx.imageHandle.get(), head, 0, sizeof head) != sizeof head)
        return kArchiveLimit;
    if (StartsWith(head, "DAA", 3) || StartsWith(head, "HXI", 3)) return kDaaHxiLimit;
    if (StartsWith(head, containers::xdi_header::kMagicText, containers::xdi_header::kMagicBytes))
        return containers::kXdiMaxPasswordBytes;
    if (containers::mzp::IsMzpMagic(head, sizeof head)) return kArchiveLimit;
    // The other encrypted image kind keeps its password in a field of its own.
    return kOtherImageLimit;
}

void RememberPassword(std::u16string_view path, std::string_view password) {
    CachedEntry entry;
    if (path.empty() || !FileStamp(path, entry.size, entry.modifiedSeconds, entry.modifiedNanoseconds)) return;
    entry.path = std::u16string(path);
    entry.password = std::string(password);
    PasswordState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    std::erase_if(state.cache, [&](const CachedEntry& e) { return platform::EqualsNoCase(e.path, path); });
    state.cache.push_back(std::move(entry));
}

bool CachedPassword(std::u16string_view path, std::string& password) {
    uint64_t size = 0;
    int64_t seconds = 0;
    int64_t nanoseconds = 0;
    if (path.empty() || !FileStamp(path, size, seconds, nanoseconds)) return false;
    PasswordState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    for (const CachedEntry& e : state.cache) {
        if (!platform::EqualsNoCase(e.path, path)) continue;
        if (e.size != size || e.modifiedSeconds != seconds || e.modifiedNanoseconds != nanoseconds) return false;
        password = e.password;
        return true;
    }
    return false;
}

void ForgetPassword(std::u16string_view path) {
    PasswordState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    std::erase_if(state.cache, [&](const CachedEntry& e) { return platform::EqualsNoCase(e.path, path); });
}

void ClearPasswordCache() {
    PasswordState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.cache.clear();
    state.lastDocument = nullptr;
    state.lastGiven.clear();
}

void SetCommandLinePassword(std::u16string_view password) {
    PasswordState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.commandLine = std::u16string(password);
    state.commandLineSet = !password.empty();
}

bool DialogServices::AskPassword(image::ImageContext* ctx, const uint8_t* passwordCheck) {
    if (!ctx) return false;
    const size_t limit = PasswordLimitOf(*ctx, passwordCheck);
    const std::u16string& path = ctx->imagePath;
    bool refused = false;
    {
        PasswordState& state = State();
        std::lock_guard<std::mutex> guard(state.lock);
        refused = state.lastDocument == ctx && !state.lastGiven.empty() && GivenPassword(*ctx) == state.lastGiven;
        if (refused) state.lastGiven.clear();
    }
    if (refused) {
        ForgetPassword(path);
        if (!AskTryAgain()) return false;
    } else {
        std::string cached;
        if (CachedPassword(path, cached) &&
            (!passwordCheck || containers::CheckDaaPassword(cached, passwordCheck))) {
            StorePassword(*ctx, cached);
            return true;
        }
    }
    for (;;) {
        std::u16string typed;
        if (!TakeCommandLinePassword(typed) && !AskForPasswordText(*ctx, typed)) {
            platform::SetLastError(platform::kErrorCancelled);
            return false;
        }
        std::string bytes;
        const foundation::PasswordCheck check = foundation::PasswordToArchiveBytes(typed, limit, bytes);
        if (check != foundation::PasswordCheck::Ok) {
            foundation::ReportPasswordLength(check, limit);
            continue;
        }
        if (passwordCheck && !containers::CheckDaaPassword(bytes, passwordCheck)) {
            if (!AskTryAgain()) {
                platform::SetLastError(platform::kErrorCancelled);
                return false;
            }
            continue;
        }
        StorePassword(*ctx, bytes);
        // Only a password the container has checked is kept: an unchecked
        // one handed out again would stand in for the user's next answer.
        if (passwordCheck) RememberPassword(path, bytes);
        return true;
    }
}

platform::FileHandle DialogServices::RequestVolume(containers::DaaContainer* c, int32_t volume) {
    if (!c || volume < 0 || size_t(volume) >= c->volumeNames.size()) return nullptr;
    std::vector<platform::FileHandle> open;
    if (c->image && c->image->imageHandle) open.push_back(c->image->imageHandle.get());
    if (c->volumeFile) open.push_back(c->volumeFile.get());
    std::u16string named = c->volumeNames[size_t(volume)];
    platform::FileHandle file = AskForVolume(foundation::prompt_kind::kVolumeRequiredByFormat, 2, c, named, open);
    if (file) c->volumeNames[size_t(volume)] = named;
    return file;
}

platform::FileHandle DialogServices::OpenMzpVolumeFile(containers::MzpContainer* c, int32_t volume) {
    if (!c || volume < 0 || size_t(volume) >= c->volumes.size()) return nullptr;
    std::vector<platform::FileHandle> open;
    for (const containers::MzpVolume& v : c->volumes)
        if (v.Handle()) open.push_back(v.Handle());
    std::u16string named = c->volumes[size_t(volume)].path;
    platform::FileHandle file = AskForVolume(foundation::prompt_kind::kVolumeRequired, 1, c, named, open);
    if (file) c->volumes[size_t(volume)].path = named;
    return file;
}

platform::FileHandle DialogServices::OpenXdiPartFile(containers::XdiContainer* c, int32_t part) {
    if (!c || part < 0 || size_t(part) >= c->parts.size()) return nullptr;
    std::vector<platform::FileHandle> open;
    for (const containers::MzpVolume& v : c->parts)
        if (v.Handle()) open.push_back(v.Handle());
    if (c->ctx && c->ctx->imageHandle) open.push_back(c->ctx->imageHandle.get());
    std::u16string named = c->parts[size_t(part)].path;
    platform::FileHandle file = AskForVolume(foundation::prompt_kind::kVolumeRequired, 1, c, named, open);
    if (file) c->parts[size_t(part)].path = named;
    return file;
}

void DialogServices::RedirectToFirstVolume(std::u16string& path) {
    std::u16string first;
    {
        foundation::UniqueFile file(foundation::OpenFileForRead(path));
        if (!file) return;   // the open that follows says why
        uint8_t head[kVolumeHeaderProbeBytes] = {};
        if (foundation::ReadFileAtCount(file.get(), head, 0, sizeof head) != int64_t(sizeof head)) return;
        if (containers::IsDaaVolumeHeader(head, sizeof head)) first = containers::FindFirstDaaVolume(path);
        else if (containers::mzp::IsMzpVolumeMagic(head, sizeof head)) first = containers::mzp::FindFirstMzpVolume(path);
        else if (IsXdiPartHeader(head)) first = containers::FindFirstXdiPart(path);
        else return;
    }
    if (first.empty() || platform::EqualsNoCase(first, path)) return;
    // The set's names were made on a system that ignores case.
    const std::u16string found = foundation::ResolvePathNoCase(first);
    if (foundation::UniqueFile(foundation::OpenFileForRead(found))) {
        path = found;
        return;
    }
    const std::u16string error = foundation::GetLastErrorText();
    if (first.size() > 3) {
        // A self-extracting set starts with a program.
        const std::u16string program =
            foundation::ResolvePathNoCase(first.substr(0, first.size() - 3) + u"exe");
        if (foundation::UniqueFile(foundation::OpenFileForRead(program))) {
            path = program;
            return;
        }
    }
    foundation::AppMessageBox(
        first + u"\r\n\r\n" + error + u"\r\n" +
            foundation::GetLangString(
                30670, u"You are ready to open a multi-volume archive. Quendravine needs this volume to continue."),
        foundation::kMbOk | foundation::kMbIconStop);
    path.clear();
}

void DialogServices::ReportTooManyVolumes() {
    foundation::AppMessageBox(
        foundation::GetLangString(810, u"The volume number exceeds limitation. Please increase the volume size."),
        foundation::kMbOk | foundation::kMbIconStop);
}

namespace {
DialogServices& Services() {
    static DialogServices services;
    return services;
}
}  // namespace

void InstallDialogServices() {
    DialogServices& s = Services();
    image::SetPasswordServices(&s);
    containers::SetDaaVolumeServices(&s);
    containers::SetMzpVolumeServices(&s);
    containers::SetXdiPartServices(&s);
    foundation::SetVolumeSetServices(&s);
}

void RemoveDialogServices() {
    image::SetPasswordServices(nullptr);
    containers::SetDaaVolumeServices(nullptr);
    containers::SetMzpVolumeServices(nullptr);
    containers::SetXdiPartServices(nullptr);
    foundation::SetVolumeSetServices(nullptr);
}

}  // namespace app
