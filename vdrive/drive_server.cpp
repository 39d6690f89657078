#include "vdrive/drive_server.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>

#include "app/dialog_services.h"
#include "app/open_document.h"
#include "containers/archive/arc_link.h"
#include "foundation/byte_order.h"
#include "foundation/drive_device_services.h"
#include "image/document/document.h"
#include "platform/named_objects.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "vdrive/drive_table.h"
#include "vdrive/image_filesystem.h"

namespace vdrive {
namespace {

constexpr uint32_t kPollMs = 200;
// A client that took the channel but neither wrote its request nor gave the
// channel back after its reply is given this long.
constexpr auto kUnfilledSlotLimit = std::chrono::seconds(30);

uint32_t LetterBit(char16_t letter) { return letter >= u'A' && letter <= u'Z' ? 1u << (letter - u'A') : 0; }

ChannelReply Status(uint32_t status) { return ChannelReply{status, 0, 0}; }

}  // namespace

DriveServer::DriveServer() = default;

DriveServer::~DriveServer() { Shutdown(); }

bool DriveServer::Start() {
    bool existed = false;
    running_ = platform::NamedMutex::Create(HelperRunningMutexName(), true, &existed);
    if (!running_ || existed) {
        // Another helper's drives are not this one's to clean up.
        running_.reset();
        return false;
    }
    running_->Wait(0);
    mapping_ = platform::SharedMapping::Create(ChannelMappingName(), kChannelBytes);
    channelFree_ = platform::NamedEvent::Create(ChannelFreeEventName(), platform::EventReset::Auto, true);
    requestReady_ = platform::NamedEvent::Create(RequestReadyEventName(), platform::EventReset::Auto, false);
    replyReady_ = platform::NamedEvent::Create(ReplyReadyEventName(), platform::EventReset::Auto, false);
    if (!mapping_ || mapping_->Size() < kChannelBytes || !channelFree_ || !requestReady_ || !replyReady_) return false;
    // Drives of an earlier helper that ended without cleaning up are empty now.
    for (const VirtualDriveEntry& d : ReadDriveTable()) {
        const std::string folder = DriveFolder(d.letter);
        ::umount2(folder.c_str(), MNT_DETACH);
    }
    SaveTable();
    return true;
}

void DriveServer::Serve(const std::atomic<bool>& stop) {
    auto* base = static_cast<uint8_t*>(mapping_->Data());
    std::atomic_ref<uint32_t> taken(*reinterpret_cast<uint32_t*>(base + kSlotTakenOffset));
    std::array<uint8_t, kAreaBytes> request{};
    // When the channel was last seen free or a request last served, and how
    // many polls in a row found its holder gone.
    auto settledAt = std::chrono::steady_clock::now();
    int holderGoneSeen = 0;
    while (!stop.load()) {
        if (requestReady_->Wait(kPollMs) != platform::kWaitObject0) {
            const auto now = std::chrono::steady_clock::now();
            if (channelFree_->Wait(0) == platform::kWaitObject0) {
                channelFree_->Set();
                settledAt = now;
                holderGoneSeen = 0;
                continue;
            }
            // Taken and no request: a client that died holding the channel (a
            // Ctrl+C between taking it and writing its request, or before it
            // gave it back) would block every later one. Its slot lock went
            // with it; two polls in a row make sure it is not a client just
            // taking it. A live client that holds it too long loses it too.
            const bool gone =
                taken.load(std::memory_order_acquire) != 0 && !platform::NamedMutex::Open(ChannelSlotMutexName());
            holderGoneSeen = gone ? holderGoneSeen + 1 : 0;
            if (holderGoneSeen >= 2 || now - settledAt > kUnfilledSlotLimit) {
                taken.store(0, std::memory_order_release);
                channelFree_->Set();
                settledAt = now;
                holderGoneSeen = 0;
            }
            continue;
        }
        std::memcpy(request.data(), base, kAreaBytes);
        const ChannelReply reply = Handle(request.data());
        std::memset(base + kReplyAreaOffset, 0, kAreaBytes);
        PutReply(base + kReplyAreaOffset, reply);
        replyReady_->Set();
        settledAt = std::chrono::steady_clock::now();
        holderGoneSeen = 0;
    }
}

ChannelReply DriveServer::Handle(const uint8_t* request) {
    const uint32_t command = foundation::ReadLE32(request);
    const uint32_t value = foundation::ReadLE32(request + kRequestDrive);
    switch (command) {
    case kCommandSetDriveCount:
        return value <= kMaxDrives ? SetDriveCount(value) : Status(kStatusBadRequest);
    case kCommandMountArchive:
    case kCommandMountImage: {
        if (value >= drives_.size()) return Status(kStatusBadRequest);
        const std::optional<std::u16string> path = ReadRequestPath(request, kRequestPath, kRequestPathUnits);
        if (!path || path->empty()) return Status(kStatusBadRequest);
        std::u16string password;
        if (command == kCommandMountImage) {
            const uint32_t length = foundation::ReadLE32(request + kRequestDescriptorLength);
            if (length < kDescriptorFixedBytes || length > kAreaBytes - kRequestDescriptor)
                return Status(kStatusBadRequest);
        } else {
            std::optional<std::u16string> given = ReadRequestPath(request, kRequestPassword, kRequestPasswordUnits);
            if (!given) return Status(kStatusBadRequest);
            password = std::move(*given);
        }
        return MountDrive(value, *path, password);
    }
    case kCommandUnmount:
        return value < drives_.size() ? UnmountDrive(value) : Status(kStatusBadRequest);
    case kCommandSetDriveLetter: {
        const char16_t letter = char16_t(request[kRequestLetter] | (request[kRequestLetter + 1] << 8));
        return value < drives_.size() ? SetDriveLetter(value, letter) : Status(kStatusBadRequest);
    }
    default:
        return Status(kStatusBadRequest);
    }
}

char16_t DriveServer::FreeLetter(char16_t wanted) const {
    // The optical drives keep their letters: a virtual drive never takes one.
    auto used = [this](char16_t l) {
        for (const Drive& d : drives_)
            if (d.letter == l) return true;
        return !foundation::DriveDeviceServices().DevicePath(l).empty();
    };
    if (wanted >= u'D' && wanted <= u'Z' && !used(wanted)) return wanted;
    for (char16_t l = u'D'; l <= u'Z'; ++l)
        if (!used(l)) return l;
    return 0;
}

void DriveServer::SaveTable() const {
    std::vector<VirtualDriveEntry> table;
    for (size_t i = 0; i < drives_.size(); ++i) table.push_back({uint32_t(i), drives_[i].letter});
    WriteDriveTable(table);
}

ChannelReply DriveServer::SetDriveCount(uint32_t count) {
    ChannelReply reply;
    while (drives_.size() > count) {
        Drive& last = drives_.back();
        if (last.mount && !last.mount->Unmount()) {
            reply.status = kStatusBusy;
            break;
        }
        ::rmdir(DriveFolder(last.letter).c_str());
        reply.wentAway |= LetterBit(last.letter);
        drives_.pop_back();
    }
    while (drives_.size() < count) {
        const char16_t letter = FreeLetter(0);
        if (!letter) {
            reply.status = kStatusBadRequest;
            break;
        }
        ::mkdir(DriveFolder(letter).c_str(), 0700);
        drives_.push_back(Drive{letter, nullptr, {}});
        reply.appeared |= LetterBit(letter);
    }
    SaveTable();
    return reply;
}

ChannelReply DriveServer::MountDrive(uint32_t number, const std::u16string& path, const std::u16string& password) {
    // The new image is opened first: a file that cannot be opened leaves the
    // drive with what it had.
    // Interactive open: the tree is built and every opener is tried; the
    // helper has no one to ask, so its questions answer cancel, but for the
    // password the request brought, which answers the first password question
    // (a wrong one then fails the open).
    app::SetCommandLinePassword(password);
    image::DocumentPtr document(app::OpenImageByPath(path, false, true, false));
    app::SetCommandLinePassword({});
    // An archive whose names are not encrypted opens without its password
    // and wants it only when a file is read: it is handed over now, as there
    // will be nobody to ask then.
    if (document && document->archiveLink && !document->archiveLink->passwordGiven && !password.empty()) {
        document->archiveLink->password = password;
        document->archiveLink->passwordGiven = true;
    }
    if (!document) return Status(kStatusOpenFailed);
    Drive& drive = drives_[number];
    if (drive.mount) {
        if (!drive.mount->Unmount()) return Status(kStatusBusy);
        drive.mount.reset();
    }
    const std::string folder = DriveFolder(drive.letter);
    ::mkdir(folder.c_str(), 0700);
    drive.mount = MountedDrive::Mount(std::make_unique<ImageFileSystem>(std::move(document)), folder);
    if (!drive.mount) return Status(kStatusMountFailed);
    drive.password = password;
    return ChannelReply{kStatusOk, LetterBit(drive.letter), 0};
}

ChannelReply DriveServer::UnmountDrive(uint32_t number) {
    Drive& drive = drives_[number];
    if (!drive.mount) return Status(kStatusOk);
    if (!drive.mount->Unmount()) return Status(kStatusBusy);
    drive.mount.reset();
    drive.password.clear();
    return ChannelReply{kStatusOk, 0, LetterBit(drive.letter)};
}

ChannelReply DriveServer::SetDriveLetter(uint32_t number, char16_t wanted) {
    Drive& drive = drives_[number];
    const char16_t letter = FreeLetter(platform::ToUpperChar(wanted));
    if (!letter || letter == drive.letter) return Status(letter ? kStatusOk : kStatusBadRequest);
    std::u16string mounted;
    const std::u16string password = drive.password;
    if (drive.mount) {
        mounted = drive.mount->FileSystem().ImagePath();
        if (!drive.mount->Unmount()) return Status(kStatusBusy);
        drive.mount.reset();
    }
    ChannelReply reply{kStatusOk, LetterBit(letter), LetterBit(drive.letter)};
    ::rmdir(DriveFolder(drive.letter).c_str());
    drive.letter = letter;
    ::mkdir(DriveFolder(letter).c_str(), 0700);
    SaveTable();
    // The image goes back on the drive under its new letter.
    if (!mounted.empty() && MountDrive(number, mounted, password).status != kStatusOk) reply.status = kStatusMountFailed;
    return reply;
}

void DriveServer::Shutdown() {
    for (Drive& d : drives_) {
        d.mount.reset();
        ::rmdir(DriveFolder(d.letter).c_str());
    }
    drives_.clear();
    if (running_) WriteDriveTable({});
}

}  // namespace vdrive
