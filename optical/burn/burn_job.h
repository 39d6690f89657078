#pragma once
// One burn or erase job: the settings the burn dialog prepares before the burn
// thread starts, and the state the engine, the writers and the verify pass
// share while it runs. The job is passed to them explicitly; nothing of it is
// process-wide, so a test runs a job without a dialog.

#include <atomic>
#include <cstdint>

#include "platform/file.h"

namespace image {
struct ImageContext;
}

namespace optical {

enum class BurnJobKind : int32_t {
    ImageFile = 1,   // a disc image file
    DataDisc = 2,    // a data or audio project
    DiscCopy = 3,    // disc to disc
};

// What the engine does: 0 idle, 1 writing, 2 verifying (read by the progress display).
enum class BurnPhase : int32_t { Idle = 0, Burning = 1, Verifying = 2 };

// The dialog side of a job. Every call comes from the burn thread; the
// dialog queues it to its own thread. The defaults do nothing, so a job
// runs without a dialog.
class IBurnJobFace {
public:
    virtual ~IBurnJobFace() = default;
    // An erase-only job ended (erased or not).
    virtual void EraseFinished(bool /*erased*/) {}
    // An erase started that takes about this long (the timed progress bar).
    virtual void StartEraseProgress(uint32_t /*seconds*/) {}
    // The Cancel control is usable during a long erase and during verify.
    virtual void SetCancelEnabled(bool /*enabled*/) {}
    // The burn (and its verify, when on) succeeded.
    virtual void BurnCompleted() {}
    // The job is over: the controls are usable again.
    virtual void RestoreControls() {}
};

struct BurnJob {
    // --- Settings, fixed before the job starts ---
    char16_t driveLetter = 0;
    bool eraseOnly = false;
    int32_t eraseKind = 1;                 // 1 quick, anything else full
    uint8_t mediaType = 0;                 // the medium's type code (1..254 valid)
    BurnJobKind kind = BurnJobKind::ImageFile;
    image::ImageContext* source = nullptr;   // not owned; null for an erase
    bool verify = false;
    bool eject = false;
    bool finalize = true;
    bool appendSession = false;
    bool testWrite = false;
    bool writeCdText = false;
    bool overwritableMedia = false;
    bool ignoreReadErrors = false;         // short source reads are zero-filled instead of failing
    int32_t writeSpeed = -1;               // KB/s; -1 the maximum
    uint32_t bufferMegabytes = 0;          // 0: the "BurnBuffer" setting
    IBurnJobFace* face = nullptr;          // not owned; null: no dialog

    // --- State while the job runs ---
    // The one cancel flag of the job: set by the dialog's Cancel, polled by
    // the erase, the writers (per chunk) and the verify pass.
    std::atomic<bool> cancel{false};
    std::atomic<BurnPhase> phase{BurnPhase::Idle};
    platform::FileHandle drive = nullptr;  // the target drive while the job holds it
    int32_t sectorSize = 2048;             // 2048 or 2352, chosen by the engine
    int32_t sessionStart = 0;              // 0 on a new disc, the next writable sector when appending
    int32_t endSector = 0;                 // end of the job's data (2048-byte jobs)
    // Kept by the writers for the job's steps.
    int32_t nextTrackNumber = 1;
    bool testWriteParametersSent = false;
    bool formatStarted = false;
    bool headMirrorWritten = false;        // the new session's head was written back (verify compares it)

    BurnJob() = default;
    BurnJob(const BurnJob&) = delete;
    BurnJob& operator=(const BurnJob&) = delete;

    bool Cancelled() const { return cancel.load(std::memory_order_relaxed); }
};

// The overwritable media (DVD-RW, DVD-RAM, DVD+RW, their double-layer kinds,
// BD-R pseudo-overwrite, BD-RE).
bool IsOverwritableMedia(uint8_t type);

}  // namespace optical
