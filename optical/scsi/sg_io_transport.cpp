#include "optical/scsi/sg_io_transport.h"

#include <cerrno>
#include <cstring>
#include <scsi/sg.h>
#include <sys/ioctl.h>

namespace optical {
namespace {

int SystemIoctl(int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); }

}  // namespace

SgIoTransport::SgIoTransport(int fd, IoctlFunction ioctlFunction)
    : fd_(fd), ioctl_(ioctlFunction ? ioctlFunction : &SystemIoctl) {}

TransportResult SgIoTransport::Execute(const TransportRequest& request) {
    TransportResult result;
    if (request.cdb.empty() || request.cdb.size() > 16) {
        result.sysErrno = EINVAL;
        return result;
    }
    sg_io_hdr_t header;
    std::memset(&header, 0, sizeof header);
    header.interface_id = 'S';
    switch (request.direction) {
        case DataDirection::None: header.dxfer_direction = SG_DXFER_NONE; break;
        case DataDirection::In: header.dxfer_direction = SG_DXFER_FROM_DEV; break;
        case DataDirection::Out: header.dxfer_direction = SG_DXFER_TO_DEV; break;
    }
    uint8_t cdb[16] = {};
    std::memcpy(cdb, request.cdb.data(), request.cdb.size());
    header.cmd_len = static_cast<unsigned char>(request.cdb.size());
    header.cmdp = cdb;
    header.dxferp = request.direction == DataDirection::None ? nullptr : request.data;
    header.dxfer_len = request.direction == DataDirection::None ? 0 : request.dataLength;
    header.sbp = request.sense;
    header.mx_sb_len = request.sense ? request.senseCapacity : 0;
    header.timeout = request.timeoutMs;

    if (ioctl_(fd_, SG_IO, &header) < 0) {
        result.sysErrno = errno != 0 ? errno : EIO;
        return result;
    }
    result.status = header.status;
    result.hostStatus = header.host_status;
    result.driverStatus = header.driver_status;
    result.resid = header.resid;
    // The kernel never writes more than mx_sb_len; a stand-in that claims more
    // must not make the caller read past its buffer.
    result.senseLength = header.sb_len_wr > header.mx_sb_len ? 0xFF : header.sb_len_wr;
    return result;
}

}  // namespace optical
