// The burn job's main sequence.

#include "optical/burn/burn_engine.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/drive_device_services.h"
#include "foundation/drive_handles.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "image/document/image_context.h"
#include "image/iso/append_session.h"
#include "image/sectors/sector_io.h"
#include "image/sheets/track_list.h"
#include "optical/burn/burn_buffer.h"
#include "optical/burn/burn_job.h"
#include "optical/burn/burn_log.h"
#include "optical/burn/burn_verify.h"
#include "optical/burn/burn_writers.h"
#include "optical/burn/media_erase.h"
#include "optical/burn/system_awake.h"
#include "optical/drive/disc_queries.h"
#include "optical/drive/drive_speed.h"
#include "optical/mmc/mmc_commands.h"
#include "optical/scsi/scsi_command.h"
#include "platform/text.h"

namespace optical {

namespace {

// The target drive for the job: the shared handle, locked (refused while
// the disc is mounted: nothing is unmounted), and on a real device an
// exclusive open that keeps anyone from mounting it until the job ends.
class HeldDrive {
public:
    explicit HeldDrive(char16_t letter) {
        handle_ = foundation::OpenDriveHandle(letter);
        if (!handle_) return;
        locked_ = foundation::LockDriveHandle(handle_) == 1;
        if (!locked_) return;
        const std::string path = platform::Utf16ToUtf8(foundation::DriveDeviceServices().DevicePath(letter));
        struct stat st{};
        if (!path.empty() && stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
            exclusive_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC);
            if (exclusive_ < 0) {
                foundation::UnlockDriveHandle(handle_);
                locked_ = false;
            }
        }
    }
    ~HeldDrive() {
        if (exclusive_ >= 0) close(exclusive_);
        if (locked_) foundation::UnlockDriveHandle(handle_);
        if (handle_) foundation::CloseDriveHandle(handle_);
    }
    HeldDrive(const HeldDrive&) = delete;
    HeldDrive& operator=(const HeldDrive&) = delete;
    platform::FileHandle handle() const { return handle_; }
    bool locked() const { return locked_; }

private:
    platform::FileHandle handle_ = nullptr;
    bool locked_ = false;
    int exclusive_ = -1;
};

// Everything the job holds, released in every case.
struct JobCleanup {
    BurnJob& job;
    ReadAheadBufferPtr buffer;
    ~JobCleanup() {
        buffer.reset();
        image::SetBurnReadPolicy(false, false);
        if (job.face) job.face->RestoreControls();
        KeepSystemAwake(false);
        job.drive = nullptr;
        job.phase = BurnPhase::Idle;
    }
};

bool IsAudioOrSeveralSessions(const image::ImageContext& source) {
    const image::TrackList* list = source.trackList;
    if (!list) return false;
    int32_t lastSession = -1;
    for (int32_t i = 0; i < std::min(list->trackCount, image::kMaxTracks); ++i) {
        const image::TrackEntry& t = list->tracks[size_t(i)];
        if (t.mode == image::track_mode::kAudio) return true;
        if (lastSession >= 0 && t.session != lastSession) return true;
        lastSession = t.session;
    }
    return false;
}

void Warn(int id, const char16_t* text) { BurnLogString(true, foundation::GetLangString(uint32_t(id), text)); }

}  // namespace

int32_t ChooseBurnSectorSize(const BurnJob& job, uint8_t type) {
    if (job.kind == BurnJobKind::DiscCopy) return type >= 1 && type <= 15 ? 2352 : 2048;
    const image::ImageContext* s = job.source;
    if (!s) return 2048;
    const bool raw = s->videoCdKind != 0 || s->formatCode == image::format_code::kAudioCd || s->mixedTracks != 0 ||
                     s->rawSectors != 0;
    return raw ? 2352 : 2048;
}

int BurnMain(BurnJob& job) {
    g_ScsiLastError = 0;
    HeldDrive drive(job.driveLetter);
    if (!drive.handle()) {
        BurnLog(true, foundation::GetLangString(kStringErrorOpeningDevice, u"Error opening device[%C:]."),
                char(job.driveLetter));
        return 0;
    }
    JobCleanup cleanup{job, nullptr};
    if (!drive.locked()) {
        Warn(kStringCannotLockDrive, u"Can't lock the drive for exclusive access.");
        return 0;
    }
    platform::FileHandle h = drive.handle();
    job.drive = h;
    KeepSystemAwake(true);
    uint8_t type = job.mediaType;
    if (type < 1 || type > 254) {
        Warn(kStringMediaDetectFailed, u"Media detect failed, or no media in the drive.");
        return 0;
    }
    BurnLog(false, u"%s %s", foundation::GetLangString(kStringMediaDetected, u"Media detected:"),
            GetMediaTypeName(type));

    if (job.eraseOnly) {
        const int erased = EraseMedia(h, job, job.eraseKind, job.writeSpeed);
        if (job.face) job.face->EraseFinished(erased == 1);
        return erased;
    }
    if (!job.source) return 0;
    image::ImageContext& source = *job.source;

    if (type == media::kDvdRDl && (job.appendSession || !job.finalize)) {
        foundation::AppMessageBox(
            u"DVD-R DL multisession burning is not supported. Please check the 'Finalize Disc' option.",
            foundation::kMbOk | foundation::kMbIconStop);
        return 0;
    }
    if (type == media::kBdRRandom || type == media::kBdRDlRandom) {
        BurnLog(true,
                foundation::GetLangString(kStringRrmRefused, u"The disc (%s) in the drive has been formatted as "
                                                             u"random recording mode (RRM), burning is not supported."),
                GetMediaTypeName(type));
        return 0;
    }

    const bool discCopy = job.kind == BurnJobKind::DiscCopy;
    // An appended session goes onto a used disc on purpose: the writers check
    // the next writable address instead, and nothing is erased under the
    // files the new session refers to.
    const bool overwritable = type == media::kDvdRam || type == media::kDvdPlusRw || type == media::kBdRe ||
                              type == media::kBdReDl;
    if (!job.appendSession && (discCopy || source.discSource == 0) && !(discCopy && overwritable)) {
        const int blank = CheckDestinationBlank(h, type, job);
        if (blank != 0) return blank == 1 ? 1 : 0;
        const uint8_t now = GetDiscMediaType(h);
        if (now >= 1 && now <= 254) type = now;
    }

    job.phase = BurnPhase::Burning;
    job.sectorSize = ChooseBurnSectorSize(job, type);
    job.sessionStart = job.appendSession ? source.sessionStartLba : 0;
    job.endSector = source.endSectorOverride != 0 ? source.endSectorOverride : source.endSector;
    job.nextTrackNumber = 1;
    job.testWriteParametersSent = false;
    job.formatStarted = false;
    job.headMirrorWritten = false;
    const uint32_t warningsBefore = BurnWarningCount();
    ResetSpeedLog();

    const bool cdMedium = type <= 15;
    if (!cdMedium && (job.sectorSize == 2352 || (discCopy && IsAudioOrSeveralSessions(source)))) {
        BurnLog(true, u"%s", foundation::GetLangString(kStringOnlyCd, u"The current data can only be burned to a CD."));
        return 0;
    }
    image::SetBurnReadPolicy(true, job.ignoreReadErrors);
    cleanup.buffer.reset(CreateBurnBuffer(job, job.sectorSize));
    if (!cleanup.buffer) return 0;

    bool written;
    if (!cdMedium) {
        if (job.appendSession && !image::LoadDiscHeadMirror(source, image::HeadTarget::Drive, h)) return 0;
        written = WriteDvdImage(h, cleanup.buffer.get(), type, job);
    } else if (discCopy) {
        written = CopyCdSessions(h, cleanup.buffer.get(), job) == 1;
    } else {
        written = WriteCdImage(h, cleanup.buffer.get(), job) == 1;
    }
    if (!written || job.Cancelled()) return 0;
    if (BurnWarningCount() == warningsBefore) {
        BurnLogString(false, foundation::GetLangString(kStringBurnSuccessful, u"Burning successful."));
    } else {
        BurnLogString(false, foundation::GetLangString(kStringBurnWithWarnings, u"Burning successful with warnings."));
    }
    // The reader thread ends before the verify pass reads the source again.
    cleanup.buffer.reset();
    image::SetBurnReadPolicy(false, false);

    if (job.verify) {
        job.phase = BurnPhase::Verifying;
        if (VerifyDisc(h, job) != 1) return 0;
    }
    if (job.face) job.face->BurnCompleted();
    if (job.eject) ScsiStartStopUnit(h, false, true);
    return 1;
}

}  // namespace optical
