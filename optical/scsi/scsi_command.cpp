#include "optical/scsi/scsi_command.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>

#include "foundation/diagnostic_log.h"
#include "foundation/drive_handles.h"
#include "foundation/language.h"
#include "foundation/messages_sense.h"
#include "foundation/operation_status.h"
#include "foundation/progress_callbacks.h"
#include "optical/drive/sector_read_state.h"
#include "optical/scsi/sg_io_transport.h"
#include "platform/format.h"
#include "platform/last_error.h"

namespace optical {

thread_local uint32_t g_ScsiLastError = 0;
thread_local uint32_t g_ScsiLastSenseCode = 0;
thread_local uint8_t g_ScsiLastStatus = 0;
std::atomic<int32_t> g_DeviceAccessMode{6};

namespace {

constexpr uint8_t kOpWrite10 = 0x2A;
constexpr uint8_t kOpRead10 = 0x28;
constexpr uint8_t kOpReadCd = 0xBE;

// Opcodes that change the medium or the drive's settings: a descriptor opened
// read-only gets EPERM from the kernel for these.
bool IsWriteCommand(uint8_t opcode) {
    switch (opcode) {
        case 0x04: case 0x2A: case 0x2E: case 0x35: case 0x53: case 0x54: case 0x55: case 0x5B:
        case 0x5D: case 0xA1: case 0xAA: case 0xB6: case 0xBB: case 0xBF:
            return true;
        default:
            return false;
    }
}


}  // namespace

ScsiTransport* detail::SgIoResolver::TransportFor(platform::FileHandle handle) {
    int fd = handle ? platform::FileDescriptor(handle) : -1;
    if (fd < 0) return nullptr;
    // A transport is only a descriptor and the ioctl: one per thread, re-aimed
    // at each command's descriptor.
    static thread_local SgIoTransport transport(-1);
    transport = SgIoTransport(fd);
    return &transport;
}

foundation::ServiceSlot<ITransportResolver, detail::SgIoResolver>& TransportResolverSlot() {
    static foundation::ServiceSlot<ITransportResolver, detail::SgIoResolver> slot;
    return slot;
}

const char16_t* ReadOnlyDriveHint() {
    return u"The drive was opened read-only; writing needs read-write access to the device "
           u"(membership of the group cdrom).";
}

bool IsCdbLengthValid(const uint8_t* cdb, uint32_t cdbLength) {
    uint8_t opcode = cdb[0];
    if (opcode < 0x20) return cdbLength == 6;
    if (opcode < 0x60) return cdbLength == 10;
    if (opcode >= 0xA0 && opcode <= 0xBF) return cdbLength == 12;
    return true;
}

int SenseMatchesTable(const SenseRow* table, size_t rowCount, const uint8_t* sense) {
    if (!table || !sense) return 0;
    for (size_t i = 0; i < rowCount; ++i) {
        if ((sense[2] & 0x0F) == table[i].key && sense[12] == table[i].asc && sense[13] == table[i].ascq) return 1;
    }
    return 0;
}

int ExecuteScsiCommand(platform::FileHandle handle, const uint8_t* cdb, uint32_t cdbLength, void* buffer,
                       uint32_t* length, uint8_t* sense, uint32_t senseLength, int dataIn,
                       uint32_t timeoutSeconds) {
    g_ScsiLastError = 0;
    g_ScsiLastSenseCode = 0;
    g_ScsiLastStatus = 0;
    bool logging = foundation::LogIsOpen();
    if (cdb && cdbLength >= 1 && cdbLength <= 16 && cdb[0] != 0 && logging) {
        foundation::LogString(false, false, u"CDB=");
        foundation::LogHexDump(false, cdb, cdbLength);
    }
    if (!cdb || cdbLength < 1 || cdbLength > 16 || (sense == nullptr) != (senseLength == 0) ||
        !IsCdbLengthValid(cdb, cdbLength) || !length || (buffer == nullptr) != (*length == 0)) {
        if (logging) foundation::LogString(false, false, u"C1 ERROR\r\n");
        platform::SetLastError(platform::kErrorInvalidParameter);
        return 0;
    }
    uint8_t opcode = cdb[0];
    uint32_t requested = *length;
    if (sense) std::memset(sense, 0, senseLength);

    DataDirection direction = requested == 0 ? DataDirection::None : (dataIn ? DataDirection::In : DataDirection::Out);
    if (direction == DataDirection::Out && opcode != kOpWrite10 && logging)
        foundation::LogHexDump(false, static_cast<const uint8_t*>(buffer), requested);

    // A disc-image job that keeps failing on a bad zone should not wait the
    // full time-out for every sector: halve it per failure in a row, never
    // below one second (a loop, so a long run cannot shift past the word).
    uint32_t timeout = timeoutSeconds;
    if (ImageJobRunning()) {
        for (uint32_t run = g_ReadErrorRun.load(); run > 0 && timeout > 1; --run) timeout /= 2;
        timeout = std::max<uint32_t>(timeout, 1);
    }

    uint8_t senseBytes[kInternalSenseBytes] = {};
    TransportRequest request;
    request.cdb = std::span<const uint8_t>(cdb, cdbLength);
    request.direction = direction;
    request.data = static_cast<uint8_t*>(buffer);
    request.dataLength = requested;
    request.timeoutMs = timeout * 1000;
    request.sense = senseBytes;
    request.senseCapacity = kInternalSenseBytes;

    ScsiTransport* transport = TransportResolverSlot().Get().TransportFor(handle);
    TransportResult result;
    if (!transport) {
        result.sysErrno = EBADF;
    } else {
        result = transport->Execute(request);
    }

    // What moved: the request less the residue, never more than asked. A
    // residue beyond the request (or negative) is a transport that lies.
    bool residOk = result.resid >= 0 && static_cast<uint32_t>(result.resid) <= requested;
    *length = residOk ? requested - static_cast<uint32_t>(result.resid) : 0;
    g_ScsiLastStatus = result.status;
    // What the drive did not send reads as zeros, never as stale bytes; done
    // after the transfer so a full read costs no extra pass over the buffer.
    if (dataIn && requested) std::memset(static_cast<uint8_t*>(buffer) + *length, 0, requested - *length);

    int transportError = result.sysErrno;
    if (transportError == 0) {
        if (result.hostStatus != 0) transportError = result.hostStatus == 3 ? ETIMEDOUT : EIO;
        else if ((result.driverStatus & kDriverStatusMask & ~kDriverSense) != 0) transportError =
            (result.driverStatus & kDriverStatusMask) == 6 ? ETIMEDOUT : EIO;
        else if (!residOk || result.senseLength > kInternalSenseBytes) transportError = EIO;
    }
    if (transportError != 0) {
        uint32_t error = platform::ErrorFromErrno(transportError);
        if ((transportError == EPERM || transportError == EACCES) && IsWriteCommand(opcode)) {
            error = platform::kErrorAccessDenied;
            foundation::SetLastErrorText(std::u16string_view(ReadOnlyDriveHint()));
        }
        if (logging) foundation::LogPrintf(false, false, u"C3 ERROR[%d]\r\n", static_cast<int32_t>(error));
        g_ScsiLastError = ((static_cast<uint32_t>(opcode) - 256u) << 16 | (error & 0xFFFF)) ^ kCodedErrorMask;
        *length = 0;
        platform::SetLastError(error);
        return 0;
    }

    // Callers read sense in fixed format; descriptor-format sense is turned
    // into it here, so byte 2, 12 and 13 always mean key, ASC and ASCQ.
    uint8_t fixed[kFixedSenseBytes] = {};
    foundation::SenseCodes codes;
    bool decoded = result.senseLength > 0 &&
                   foundation::DecodeSense(std::span<const uint8_t>(senseBytes, result.senseLength), codes);
    uint32_t fixedLength = 0;
    if (decoded) {
        uint8_t response = senseBytes[0] & 0x7F;
        if (response == 0x70 || response == 0x71) {
            fixedLength = std::min<uint32_t>(result.senseLength, kFixedSenseBytes);
            std::memcpy(fixed, senseBytes, fixedLength);
        } else {
            fixed[0] = response == 0x73 ? 0x71 : 0x70;
            fixed[2] = codes.key;
            fixed[7] = 10;
            fixed[12] = codes.asc;
            fixed[13] = codes.ascq;
            fixedLength = kFixedSenseBytes;
        }
    }
    if ((decoded && codes.key != 0) || result.status != kStatusGood) {
        uint32_t additional = fixed[7] > 10 ? 10 : fixed[7];
        uint32_t copy = std::min<uint32_t>({additional + 8, fixedLength, senseLength});
        if (sense && copy) std::memcpy(sense, fixed, copy);
        platform::SetLastError(0);
        g_ScsiLastError = (static_cast<uint32_t>(fixed[13]) << 24 | static_cast<uint32_t>(fixed[12]) << 16 |
                           static_cast<uint32_t>(fixed[2]) << 8 | opcode) ^
                          kCodedErrorMask;
        g_ScsiLastSenseCode = static_cast<uint32_t>(fixed[2] & 0x0F) << 16 | static_cast<uint32_t>(fixed[12]) << 8 |
                              fixed[13];
        if (logging) {
            foundation::LogString(false, false, u"Sense=");
            foundation::LogHexDump(false, fixed, std::max<uint32_t>(copy, fixedLength));
        }
        return 0;
    }
    if (dataIn && *length && opcode != kOpRead10 && opcode != kOpReadCd && logging)
        foundation::LogHexDump(false, static_cast<const uint8_t*>(buffer), *length);
    platform::SetLastError(0);
    return 1;
}

platform::FileHandle OpenOpticalDevice(char16_t letter) {
    if (g_DeviceAccessMode.load() >= 2) return foundation::OpenDriveHandle(letter);
    // The one-sector path still needs the device itself: commands go through
    // the same transport.
    platform::FileHandle handle = foundation::OpenDriveHandle(letter);
    if (!handle) {
        foundation::SetLastErrorText(platform::Format(
            foundation::GetLangString(kStringErrorOpeningDevice, u"Error opening device[%C:]."),
            static_cast<char>(letter)));
    }
    return handle;
}

void CloseOpticalDevice(platform::FileHandle handle) {
    if (handle) foundation::CloseDriveHandle(handle);
}

int AspiReadSectors(platform::FileHandle handle, foundation::CancelEvent* cancelEvent, void* buffer, uint32_t lba,
                    uint32_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    for (uint32_t i = 0; i < count; ++i) {
        if (cancelEvent && cancelEvent->IsSet()) return 0;
        uint8_t cdb[10] = {kOpRead10, 0, 0, 0, 0, 0, 0, 0, 1, 0};
        uint32_t at = lba + i;
        cdb[2] = static_cast<uint8_t>(at >> 24);
        cdb[3] = static_cast<uint8_t>(at >> 16);
        cdb[4] = static_cast<uint8_t>(at >> 8);
        cdb[5] = static_cast<uint8_t>(at);
        uint32_t length = 2048;
        if (!ExecuteScsiCommand(handle, cdb, 10, out + static_cast<size_t>(i) * 2048, &length, nullptr, 0, 1, 100) ||
            length != 2048)
            return 0;
    }
    return 1;
}

}  // namespace optical
