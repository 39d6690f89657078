#pragma once
// The virtual-drive channel as bytes: the names of the shared mapping and the
// three events, the request and reply records (little-endian, 0x4000 bytes
// each), the mount descriptor, and the NT form of an image path. Client and
// helper share these, so both sides read one layout.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace image {
struct ImageContext;
}

namespace vdrive {

// The shared mapping, the three events (channel free, request ready, reply
// ready) and the mutex the helper holds while it runs, so a client notices a
// helper that died.
std::u16string ChannelMappingName();
std::u16string ChannelFreeEventName();
std::u16string RequestReadyEventName();
std::u16string ReplyReadyEventName();
std::u16string HelperRunningMutexName();
// Held by the client that has taken the channel, from taking it until it
// gives it back: the helper sees a client that died holding it.
std::u16string ChannelSlotMutexName();
// Tests that run helpers side by side give each its own names.
void SetChannelNameSuffixForTests(std::u16string_view suffix);

constexpr size_t kAreaBytes = 0x4000;
constexpr size_t kReplyAreaOffset = 0x4000;
constexpr size_t kMappingBytes = 0x8000;
// Past the two areas, our own: 1 while a client holds the channel (4 bytes).
constexpr size_t kSlotTakenOffset = 0x8000;
constexpr size_t kChannelBytes = kMappingBytes + 8;

enum : uint32_t {
    kCommandMountArchive = 1,
    kCommandMountImage = 2,
    kCommandUnmount = 3,
    kCommandSetDriveCount = 4,
    kCommandSetDriveLetter = 5,
};
constexpr uint32_t kMaxDrives = 23;   // drive numbers 0..22

// Request fields.
constexpr size_t kRequestDrive = 4;
constexpr size_t kRequestLetter = 8;
constexpr size_t kRequestPath = 12;
constexpr size_t kRequestPathUnits = 1024;
constexpr size_t kRequestPassword = 2060;
constexpr size_t kRequestPasswordUnits = 256;
constexpr size_t kRequestDescriptorLength = 2060;
constexpr size_t kRequestDescriptor = 2064;

// Mount descriptor fields.
constexpr size_t kDescriptorFixedBytes = 5336;
constexpr size_t kDescriptorFormat = 12;
constexpr size_t kDescriptorSectorSize = 16;
constexpr size_t kDescriptorUserDataOffset = 20;
constexpr size_t kDescriptorDataOffset = 24;
constexpr size_t kDescriptorLabel = 28;
constexpr size_t kDescriptorTrackCount = 288;
constexpr size_t kDescriptorNtPathLength = 5316;
constexpr size_t kDescriptorNtPath = 5318;

// Status of a reply: 0 success; the helper's refusals.
enum : uint32_t {
    kStatusOk = 0,
    kStatusBadRequest = 1,     // command, drive number, count or path out of range
    kStatusOpenFailed = 2,     // the image could not be opened
    kStatusMountFailed = 3,    // the drive could not be mounted
    kStatusBusy = 4,           // the drive is in use and stays mounted
};

struct ChannelReply {
    uint32_t status = 0;
    uint32_t appeared = 0;     // bit i: letter 'A' + i
    uint32_t wentAway = 0;
};

// A request record of kAreaBytes.
using RequestBytes = std::vector<uint8_t>;

RequestBytes MakeUnmountRequest(uint32_t drive);
RequestBytes MakeDriveCountRequest(uint32_t count);
RequestBytes MakeDriveLetterRequest(uint32_t drive, char16_t letter);
// Command 2 with the document's descriptor; none when the path does not fit
// the request (paths of 1024 units or more, descriptors past the area).
std::optional<RequestBytes> MakeMountImageRequest(uint32_t drive, std::u16string_view path,
                                                  const image::ImageContext& ctx);
// Command 1: the archive and its password.
std::optional<RequestBytes> MakeMountArchiveRequest(uint32_t drive, std::u16string_view path,
                                                    std::u16string_view password);

// "\??\UNC\..." for "\\server\...", a path starting with a single
// backslash kept, "\??\" before any other path (POSIX paths included).
std::u16string MakeNtPath(std::u16string_view path);
// The path without the prefix MakeNtPath put there (only when present).
std::u16string StripNtPrefix(std::u16string_view ntPath);

void PutReply(uint8_t* area, const ChannelReply& reply);
ChannelReply GetReply(const uint8_t* area);

// The request's path field: units up to the first NUL; none when the field
// holds no NUL (the path would run past its field).
std::optional<std::u16string> ReadRequestPath(const uint8_t* request, size_t offset, size_t units);

}  // namespace vdrive
