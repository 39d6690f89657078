#include <cstdint>
#include <cwchar>
#include <string>

#include "audio/encoders/encoder_library.h"
#include "audio/encoders/encoders_internal.h"
#include "foundation/settings.h"
#include "platform/format.h"

namespace audio::detail {
namespace {

// The Monkey's Audio library's C interface. Its wide texts are wchar_t,
// four bytes on Linux: converted at this boundary.
constexpr char kApeFile[] = "libMAC.so";
constexpr int kInterfaceVersion = 3990;
constexpr int kDefaultLevel = 3;

#pragma pack(push, 1)
struct WaveFormat {
    uint16_t formatTag = 1;
    uint16_t channels = 2;
    uint32_t samplesPerSecond = 44100;
    uint32_t averageBytesPerSecond = 176400;
    uint16_t blockAlign = 4;
    uint16_t bitsPerSample = 16;
    uint16_t extraBytes = 0;
};
#pragma pack(pop)

using ApeHandle = void*;
struct ApeApi {
    platform::RuntimeLibrary library;
    int (*compatibility)(int, int, void*) = nullptr;
    ApeHandle (*compressCreate)(int*) = nullptr;
    void (*compressDestroy)(ApeHandle) = nullptr;
    int (*compressStart)(ApeHandle, const wchar_t*, const WaveFormat*, int, int, const void*, int) = nullptr;
    int (*compressAdd)(ApeHandle, unsigned char*, int) = nullptr;
    int (*compressFinish)(ApeHandle, unsigned char*, int, int) = nullptr;
    ApeHandle (*decompressCreate)(const wchar_t*, int*) = nullptr;
    void (*decompressDestroy)(ApeHandle) = nullptr;
    int (*setFieldTag)(ApeHandle, const wchar_t*, const wchar_t*, int) = nullptr;
};

ApeApi& Api() {
    static ApeApi api;
    return api;
}

std::wstring Wide(const std::u16string& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        out += wchar_t(c);
    }
    return out;
}

class ApeEncoder final : public MusicEncoder {
public:
    ApeEncoder(ApeHandle handle, std::u16string path, MusicTags tags)
        : handle_(handle), path_(std::move(path)), tags_(std::move(tags)) {}
    ~ApeEncoder() override {
        if (handle_) Api().compressDestroy(handle_);
    }
    bool WriteFrames(const int16_t* frames, size_t count) override {
        std::basic_string<unsigned char> bytes(count * 4, 0);
        for (size_t i = 0; i < 2 * count; ++i) {
            bytes[2 * i] = uint8_t(uint16_t(frames[i]));
            bytes[2 * i + 1] = uint8_t(uint16_t(frames[i]) >> 8);
        }
        return Api().compressAdd(handle_, bytes.data(), int(bytes.size())) == 0;
    }
    bool Finish() override {
        const bool ok = Api().compressFinish(handle_, nullptr, 0, 0) == 0;
        Api().compressDestroy(handle_);
        handle_ = nullptr;
        return ok && WriteTags();
    }

private:
    bool WriteTags() {
        int error = 0;
        const std::wstring path = Wide(path_);
        ApeHandle tagHandle = Api().decompressCreate(path.c_str(), &error);
        if (!tagHandle) return false;
        auto set = [&](const wchar_t* field, const std::u16string& text) {
            const std::wstring value = Wide(text);
            Api().setFieldTag(tagHandle, field, text.empty() ? nullptr : value.c_str(), 0);
        };
        set(L"Artist", tags_.artist);
        set(L"Composer", tags_.composer);
        set(L"Title", tags_.title);
        set(L"Comment", tags_.comment);
        set(L"Album", tags_.album);
        set(L"Year", tags_.year);
        set(L"Genre", tags_.genre);
        Api().setFieldTag(tagHandle, nullptr, nullptr, 1);   // saves the tag
        Api().decompressDestroy(tagHandle);
        return true;
    }

    ApeHandle handle_;
    std::u16string path_;
    MusicTags tags_;
};

}  // namespace

bool LoadApe(EncoderError* error) {
    ApeApi& a = Api();
    if (a.library.IsOpen()) return true;
    platform::RuntimeLibrary& l = a.library;
    const bool ok = l.Load(EncoderLibraryCandidates(kApeFile)) && l.Bind(a.compatibility, "GetInterfaceCompatibility") &&
                    l.Bind(a.compressCreate, "c_APECompress_Create") &&
                    l.Bind(a.compressDestroy, "c_APECompress_Destroy") &&
                    l.Bind(a.compressStart, "c_APECompress_StartW") &&
                    l.Bind(a.compressAdd, "c_APECompress_AddData") &&
                    l.Bind(a.compressFinish, "c_APECompress_Finish") &&
                    l.Bind(a.decompressCreate, "c_APEDecompress_CreateW") &&
                    l.Bind(a.decompressDestroy, "c_APEDecompress_Destroy") &&
                    l.Bind(a.setFieldTag, "SetFieldTagW") &&
                    a.compatibility(kInterfaceVersion, 1, nullptr) == 0;
    if (!ok) {
        ResetApe();
        LoadFailed(error, kApeFile);
    }
    return ok;
}

void ResetApe() {
    ApeApi& a = Api();
    a.library.Close();
    a = ApeApi{};
}

std::unique_ptr<MusicEncoder> OpenApe(int fd, uint64_t totalBytes, const MusicTags& tags) {
    // The library takes only names, and reopens the file to tag it: it gets
    // the open file's own name, which stays valid while the caller holds fd.
    const std::u16string path = platform::Format(u"/proc/self/fd/%d", fd);
    ApeApi& a = Api();
    // The library counts in a signed 32-bit int: a longer total is refused, never wrapped.
    if (totalBytes > uint64_t(INT32_MAX)) return nullptr;
    uint32_t level = foundation::ReadSettingDwordInRange(u"ApeCompressionLevel", kDefaultLevel, 0, 0xFFFFFFFFu);
    if (level < 1 || level > 5) level = kDefaultLevel;
    int error = 0;
    ApeHandle handle = a.compressCreate(&error);
    if (!handle) return nullptr;
    auto e = std::make_unique<ApeEncoder>(handle, path, tags);
    const WaveFormat format;
    const std::wstring wide = Wide(path);
    if (a.compressStart(handle, wide.c_str(), &format, int(totalBytes), int(level * 1000), nullptr, -1) != 0)
        return nullptr;
    return e;
}

}  // namespace audio::detail
