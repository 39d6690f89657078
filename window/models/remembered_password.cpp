#include "window/models/remembered_password.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>

#include "image/document/image_context.h"
#include "platform/text.h"

namespace dialogs {
namespace {

struct FileStamp {
    std::u16string path;
    uint64_t size = 0;
    int64_t modifiedSeconds = 0;
    int64_t modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

struct Record {
    FileStamp stamp;
    std::array<char, image::kPasswordBytes> password{};
    bool set = false;
};

std::mutex g_lock;
Record g_record;

bool StampOf(const std::u16string& path, FileStamp& stamp) {
    std::string utf8;
    struct stat st {};
    if (!platform::Utf16ToUtf8Strict(path, utf8) || ::stat(utf8.c_str(), &st) != 0) return false;
    stamp = FileStamp{path, uint64_t(st.st_size), int64_t(st.st_mtim.tv_sec), int64_t(st.st_mtim.tv_nsec)};
    return true;
}

// The password bytes must not linger in memory once replaced.
void Wipe(Record& record) {
    volatile char* bytes = record.password.data();
    for (size_t i = 0; i < record.password.size(); ++i) bytes[i] = 0;
    record.set = false;
}

}  // namespace

bool RememberingPasswords::AskPassword(image::ImageContext* ctx, const uint8_t* passwordCheck) {
    if (ctx) {
        FileStamp stamp;
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_record.set && StampOf(ctx->imagePath, stamp) && stamp == g_record.stamp) {
            ctx->outputPassword = g_record.password;
            return true;
        }
    }
    askedUser_ = inner_.AskPassword(ctx, passwordCheck);
    return askedUser_;
}

void RememberingPasswords::KeepAfterOpen(const image::ImageContext& ctx) {
    if (!askedUser_) return;
    FileStamp stamp;
    if (!StampOf(ctx.imagePath, stamp)) return;
    std::lock_guard<std::mutex> guard(g_lock);
    Wipe(g_record);
    g_record.stamp = stamp;
    g_record.password = ctx.outputPassword;
    g_record.set = true;
}

void ForgetRememberedPassword() {
    std::lock_guard<std::mutex> guard(g_lock);
    Wipe(g_record);
}

}  // namespace dialogs
