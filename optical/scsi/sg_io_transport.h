#pragma once
// The Linux SCSI generic pass-through: one SG_IO ioctl per command on an open
// /dev/sr* descriptor. The ioctl is a parameter so tests can stand in for the
// kernel with any combination of status, host, driver, sense and resid.

#include "optical/scsi/scsi_transport.h"

namespace optical {

using IoctlFunction = int (*)(int fd, unsigned long request, void* argument);

class SgIoTransport final : public ScsiTransport {
public:
    explicit SgIoTransport(int fd, IoctlFunction ioctlFunction = nullptr);
    TransportResult Execute(const TransportRequest& request) override;

private:
    int fd_;
    IoctlFunction ioctl_;
};

}  // namespace optical
