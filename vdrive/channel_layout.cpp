#include "vdrive/channel_layout.h"

#include <algorithm>

#include "foundation/byte_order.h"
#include "image/document/image_context.h"
#include "platform/text.h"

namespace vdrive {
namespace {

// Units and their terminator; false when they do not fit maxUnits with it.
bool PutText(uint8_t* at, std::u16string_view text, size_t maxUnits) {
    if (text.size() >= maxUnits) return false;
    for (size_t i = 0; i < text.size(); ++i) foundation::WriteLE16(at + 2 * i, text[i]);
    foundation::WriteLE16(at + 2 * text.size(), 0);
    return true;
}

RequestBytes NewRequest(uint32_t command, uint32_t drive) {
    RequestBytes r(kAreaBytes, 0);
    foundation::WriteLE32(r.data(), command);
    foundation::WriteLE32(r.data() + kRequestDrive, drive);
    return r;
}

std::u16string& NameSuffix() {
    static std::u16string suffix;
    return suffix;
}

}  // namespace

std::u16string ChannelMappingName() { return u"Global\\QUENDRAVINE_C2C80BFABC_FILEMAPPING" + NameSuffix(); }
std::u16string ChannelFreeEventName() { return u"Global\\AccessSyncService0" + NameSuffix(); }
std::u16string RequestReadyEventName() { return u"Global\\AccessSyncService1" + NameSuffix(); }
std::u16string ReplyReadyEventName() { return u"Global\\AccessSyncService2" + NameSuffix(); }
std::u16string HelperRunningMutexName() { return u"QVHELPER_C2C80BFA WNDCLASS" + NameSuffix(); }
std::u16string ChannelSlotMutexName() { return u"QVHELPER_C2C80BFA SLOT" + NameSuffix(); }
void SetChannelNameSuffixForTests(std::u16string_view suffix) { NameSuffix() = suffix; }

void PutReply(uint8_t* area, const ChannelReply& reply) {
    foundation::WriteLE32(area, reply.status);
    foundation::WriteLE32(area + 4, reply.appeared);
    foundation::WriteLE32(area + 8, reply.wentAway);
}

ChannelReply GetReply(const uint8_t* area) { return {foundation::ReadLE32(area), foundation::ReadLE32(area + 4), foundation::ReadLE32(area + 8)}; }

RequestBytes MakeUnmountRequest(uint32_t drive) { return NewRequest(kCommandUnmount, drive); }
RequestBytes MakeDriveCountRequest(uint32_t count) { return NewRequest(kCommandSetDriveCount, count); }

RequestBytes MakeDriveLetterRequest(uint32_t drive, char16_t letter) {
    RequestBytes r = NewRequest(kCommandSetDriveLetter, drive);
    foundation::WriteLE16(r.data() + kRequestLetter, platform::ToUpperChar(letter));
    return r;
}

std::u16string MakeNtPath(std::u16string_view path) {
    // Only backslashes count: a POSIX path ("/home/...") gets the prefix like
    // any other local path.
    auto separator = [](char16_t c) { return c == u'\\'; };
    if (path.size() >= 2 && separator(path[0]) && separator(path[1]))
        return u"\\??\\UNC" + std::u16string(path.substr(1));
    if (!path.empty() && separator(path[0])) return std::u16string(path);
    return u"\\??\\" + std::u16string(path);
}

std::u16string StripNtPrefix(std::u16string_view ntPath) {
    if (ntPath.substr(0, 8) == u"\\??\\UNC\\") return u"\\" + std::u16string(ntPath.substr(7));
    if (ntPath.substr(0, 4) == u"\\??\\") return std::u16string(ntPath.substr(4));
    return std::u16string(ntPath);
}

std::optional<RequestBytes> MakeMountImageRequest(uint32_t drive, std::u16string_view path,
                                                  const image::ImageContext& ctx) {
    const std::u16string nt = MakeNtPath(path);
    const size_t descriptorBytes = 2 * nt.size() + kDescriptorFixedBytes;
    // The descriptor must fit the request area behind its fixed part.
    if (kRequestDescriptor + descriptorBytes > kAreaBytes) return std::nullopt;
    RequestBytes r = NewRequest(kCommandMountImage, drive);
    const std::u16string& field = ctx.dataInSecondPath && !ctx.secondPath.empty() ? ctx.secondPath
                                                                                   : std::u16string(path);
    if (!PutText(r.data() + kRequestPath, field, kRequestPathUnits)) return std::nullopt;
    foundation::WriteLE32(r.data() + kRequestDescriptorLength, uint32_t(descriptorBytes));
    uint8_t* d = r.data() + kRequestDescriptor;
    d[8] = 1;
    foundation::WriteLE32(d + kDescriptorFormat, uint32_t(ctx.formatCode));
    foundation::WriteLE32(d + kDescriptorSectorSize, uint32_t(ctx.sectorSize));
    foundation::WriteLE32(d + kDescriptorUserDataOffset, uint32_t(ctx.userDataOffset));
    foundation::WriteLE32(d + kDescriptorDataOffset, uint32_t(ctx.dataOffset));
    std::string label;
    platform::Utf16ToMultiByte(platform::kCodePageAnsi, ctx.volumeTexts[image::volume_text::kVolumeLabel], label);
    std::copy_n(label.begin(), std::min<size_t>(label.size(), 256), d + kDescriptorLabel);
    // The helper opens the image again with the program's readers and takes
    // the tracks from there: the track arrays stay empty.
    foundation::WriteLE32(d + kDescriptorTrackCount, 0);
    foundation::WriteLE16(d + kDescriptorNtPathLength, uint16_t(2 * nt.size()));
    PutText(d + kDescriptorNtPath, nt, nt.size() + 1);
    return r;
}

std::optional<RequestBytes> MakeMountArchiveRequest(uint32_t drive, std::u16string_view path,
                                                    std::u16string_view password) {
    RequestBytes r = NewRequest(kCommandMountArchive, drive);
    if (!PutText(r.data() + kRequestPath, path, kRequestPathUnits)) return std::nullopt;
    if (!PutText(r.data() + kRequestPassword, password, kRequestPasswordUnits)) return std::nullopt;
    return r;
}

std::optional<std::u16string> ReadRequestPath(const uint8_t* request, size_t offset, size_t units) {
    std::u16string text;
    for (size_t i = 0; i < units; ++i) {
        const char16_t c = char16_t(request[offset + 2 * i] | (request[offset + 2 * i + 1] << 8));
        if (c == 0) return text;
        text.push_back(c);
    }
    return std::nullopt;
}

}  // namespace vdrive
