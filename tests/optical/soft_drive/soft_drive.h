#pragma once
// A software MMC drive: it answers the commands of the MMC and SPC standards
// from a disc described by a manifest, its tracks backed by image files, as a
// drive would (replies cut to the allocation length while their length fields
// give the full size, CDB fields checked, sense for what it refuses). It can
// be told to fail: sense in fixed or descriptor format by opcode, LBA or the
// nth call, transport errors, short or over-long transfers, lying length
// fields. It logs every command it gets. With a write line in its manifest it
// records too, strictly: sequential writes at the next writable address, whole
// ECC blocks on DVD and BD, checked cue sheets, raw frames and CD-TEXT packs;
// each closed session is exported as files real tools read. It knows the
// transport interface and nothing else of the program.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "optical/scsi/scsi_transport.h"
#include "soft_drive/soft_drive_manifest.h"
#include "soft_drive/soft_drive_write.h"

namespace softdrive {

struct Fault {
    enum class Kind {
        Sense,            // CHECK CONDITION with fixed-format sense
        DescriptorSense,  // CHECK CONDITION with descriptor-format sense
        Errno,            // the request never reaches the drive
        Host,             // adapter failure (status 0, no sense)
        Driver,           // driver failure (status 0, no sense)
        ShortTransfer,    // `bytes` fewer than the reply moved
        LongTransfer,     // a residue below zero: more than asked "moved"
        FullResid,        // GOOD status but nothing moved
        SenseOverflow,    // claims more sense than the buffer holds
        BadLength,        // the reply's length field replaced by `value`
        Latency,          // `bytes` milliseconds handed to the latency hook
        Patch,            // reply bytes replaced: `patch` holds offset and value pairs
        Flip,             // `bytes` reply bytes xored with random values from `value` as seed
    };
    Kind kind = Kind::Sense;
    int opcode = -1;         // -1: any command
    int64_t lba = -1;        // READ(10), READ CD, WRITE(10): the run must hold it
    uint32_t nth = 0;        // 0: every matching call; n: only the nth
    uint32_t times = 0xFFFFFFFF;
    uint8_t key = 3, asc = 0x11, ascq = 0;
    int err = 5;
    uint16_t status = 0;     // host or driver status
    int32_t bytes = 0;
    uint32_t value = 0;
    std::vector<std::pair<uint32_t, uint8_t>> patch;
    uint32_t seen = 0, fired = 0;
};

struct LoggedCommand {
    std::vector<uint8_t> cdb;
    optical::DataDirection direction;
    uint32_t length;
    uint32_t timeoutMs;
};

class SoftDrive final : public optical::ScsiTransport {
public:
    SoftDrive() = default;
    ~SoftDrive() override;
    SoftDrive(const SoftDrive&) = delete;
    SoftDrive& operator=(const SoftDrive&) = delete;

    bool Load(const Manifest& manifest, std::string& error);
    bool LoadText(std::string_view manifestText, std::string& error);
    optical::TransportResult Execute(const optical::TransportRequest& request) override;

    void AddFault(const Fault& fault) { faults_.push_back(fault); }
    void ClearFaults() { faults_.clear(); }
    std::vector<LoggedCommand>& Log() { return log_; }
    // Commands with this opcode in the log.
    size_t Count(uint8_t opcode) const;
    std::function<void(uint32_t milliseconds)> latencyHook;
    // Why the last cue sheet was refused.
    std::string lastRefusal;
    uint16_t CurrentWriteSpeed() const { return manifest_.currentWriteSpeed; }
    uint16_t CurrentReadSpeed() const { return manifest_.readSpeed; }
    // Times the drive buffer ran empty between writes of a session.
    uint64_t Underruns() const { return write_.underruns; }
    int RecordedSessions() const { return write_.sessions; }
    const std::vector<RecordedTrack>& RecordedTracks() const { return write_.recorded; }
    uint16_t CurrentProfile() const { return manifest_.profile; }

private:
    struct Track {
        TrackDescription desc;
        int number = 0;
        int64_t start = 0;
        uint32_t length = 0;
        int fd = -1;
    };
    struct Reply;

    void Run(const uint8_t* cdb, size_t cdbLength, const optical::TransportRequest& request, Reply& reply);
    const Track* TrackAt(int64_t lba) const;
    bool ReadUser(int64_t lba, uint8_t* out, Reply& reply);
    bool ReadRaw(int64_t lba, uint8_t* out, Reply& reply);
    int SessionCount() const;
    int64_t SessionLeadOut(int session) const;
    int64_t DiscEnd() const;
    void Toc(const uint8_t* cdb, std::vector<uint8_t>& out, Reply& reply);
    void Configuration(const uint8_t* cdb, std::vector<uint8_t>& out);
    void TrackInformation(const uint8_t* cdb, std::vector<uint8_t>& out, Reply& reply);
    void DiscInformation(std::vector<uint8_t>& out);
    void ModePage(const uint8_t* cdb, std::vector<uint8_t>& out, Reply& reply);
    void Performance(const uint8_t* cdb, std::vector<uint8_t>& out, Reply& reply);
    void Structure(const uint8_t* cdb, std::vector<uint8_t>& out, Reply& reply);
    void FormatCapacities(std::vector<uint8_t>& out);
    std::vector<uint8_t> CdTextPacks() const;
    void SelectWriteSpeed(uint32_t kbps);

    // Recording (soft_drive_write.cpp and its neighbours).
    bool SetUpRecording(std::string& error);
    // True when the command is a recording one (answered in reply).
    bool RunRecording(const uint8_t* cdb, const optical::TransportRequest& request, Reply& reply);
    void WritePage(const uint8_t* cdb, std::vector<uint8_t>& out);
    void SelectPage(const optical::TransportRequest& request, Reply& reply);
    void Write(const uint8_t* cdb, const optical::TransportRequest& request, Reply& reply);
    void WriteCd(int64_t lba, uint32_t count, uint32_t unit, const uint8_t* data, Reply& reply);
    void WriteBlocks(int64_t lba, uint32_t count, uint32_t unit, const uint8_t* data, Reply& reply);
    void SendCueSheet(const uint8_t* cdb, const optical::TransportRequest& request, Reply& reply);
    void Close(const uint8_t* cdb, Reply& reply);
    void Blank(const uint8_t* cdb, Reply& reply);
    void Format(const optical::TransportRequest& request, Reply& reply);
    void Synchronize();
    void CommitCdSession();
    void CommitOpenTrack();
    void CloseSession(bool finalize);
    void MakeOverwriteTrack();
    void AddRecordedTrack(const RecordedTrack& track, uint32_t unit, uint64_t fileOffset);
    int64_t CdLeadInStart() const;
    void Throttle(uint64_t bytes);
    void Drain();
    void Export();
    bool ReadExportFrame(int64_t lba, uint8_t* raw);

    Manifest manifest_;
    std::vector<Track> tracks_;
    std::vector<Fault> faults_;
    std::vector<LoggedCommand> log_;
    WriteState write_;
};

}  // namespace softdrive
