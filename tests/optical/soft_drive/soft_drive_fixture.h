#pragma once
// A software drive behind the command layer for one test: every handle's
// commands go to it, and the drive clock is virtual, so retries and waits take
// no time.

#include <memory>
#include <string>

#include "optical/scsi/drive_clock.h"
#include "optical/scsi/scsi_command.h"
#include "soft_drive/soft_drive.h"

namespace softdrive {

class OneDriveResolver final : public optical::ITransportResolver {
public:
    explicit OneDriveResolver(optical::ScsiTransport* transport) : transport_(transport) {}
    optical::ScsiTransport* TransportFor(platform::FileHandle) override { return transport_; }

private:
    optical::ScsiTransport* transport_;
};

struct ScopedSoftDrive {
    SoftDrive drive;
    OneDriveResolver resolver{&drive};
    optical::VirtualDriveClock clock;
    optical::ITransportResolver* previousResolver;
    optical::IDriveClock* previousClock;

    ScopedSoftDrive()
        : previousResolver(optical::SetTransportResolver(&resolver)), previousClock(optical::SetDriveClock(&clock)) {
        drive.latencyHook = [this](uint32_t ms) { clock.SleepMs(ms); };
    }
    ~ScopedSoftDrive() {
        optical::SetTransportResolver(previousResolver);
        optical::SetDriveClock(previousClock);
    }
    // A handle value for the command layer; only the resolver sees it.
    platform::FileHandle Handle() { return reinterpret_cast<platform::FileHandle>(&drive); }
    bool Load(const std::string& manifest) {
        std::string error;
        bool ok = drive.LoadText(manifest, error);
        if (!ok) lastError = error;
        return ok;
    }
    std::string lastError;
};

}  // namespace softdrive
