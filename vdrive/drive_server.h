#pragma once
// The helper's side of the virtual drives: it makes the channel (mapping and
// events) and holds its running mutex, keeps the drive table, and serves each
// request: mount (the image opened with the program's readers, then served
// through FUSE on the drive's folder), unmount (never lazily), the number of
// drives and a drive's letter. Every request is copied out of the shared
// area and checked before anything is done with it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "vdrive/channel_layout.h"

namespace platform {
class NamedEvent;
class NamedMutex;
class SharedMapping;
}  // namespace platform

namespace vdrive {

class MountedDrive;

class DriveServer {
public:
    DriveServer();
    ~DriveServer();
    DriveServer(const DriveServer&) = delete;
    DriveServer& operator=(const DriveServer&) = delete;

    // False when another helper already runs or the channel cannot be made.
    bool Start();
    // Answers requests until stop is set (looked at every 200 ms).
    void Serve(const std::atomic<bool>& stop);
    // One request of kAreaBytes (already copied out of the shared area).
    ChannelReply Handle(const uint8_t* request);
    // Unmounts every drive (a busy one is detached) and empties the table.
    void Shutdown();

private:
    struct Drive {
        char16_t letter = 0;
        std::unique_ptr<MountedDrive> mount;
        std::u16string password;   // the mount's, to mount it again under another letter
    };
    ChannelReply SetDriveCount(uint32_t count);
    ChannelReply MountDrive(uint32_t number, const std::u16string& path, const std::u16string& password);
    ChannelReply UnmountDrive(uint32_t number);
    ChannelReply SetDriveLetter(uint32_t number, char16_t letter);
    char16_t FreeLetter(char16_t wanted) const;
    void SaveTable() const;

    std::vector<Drive> drives_;
    std::unique_ptr<platform::NamedMutex> running_;
    std::unique_ptr<platform::SharedMapping> mapping_;
    std::unique_ptr<platform::NamedEvent> channelFree_, requestReady_, replyReady_;
};

}  // namespace vdrive
