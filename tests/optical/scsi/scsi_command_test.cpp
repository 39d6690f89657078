// The command layer over SG_IO (the kernel stood in for by a fake ioctl) and
// over the software drive: validation, the transport's failure reports, sense
// in both formats, and the last-command state.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <scsi/sg.h>
#include <thread>

#include "optical/scsi/scsi_command.h"
#include "optical/scsi/sg_io_transport.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "soft_drive/soft_drive_fixture.h"

namespace {

struct IoctlRow {
    const char* name;
    int rc;
    int err;
    uint8_t status;
    uint16_t host;
    uint16_t driver;
    uint8_t senseWritten;
    int resid;
    uint8_t sense[18];
    int expectedResult;
    uint32_t expectedLastError;   // system last error
    uint32_t expectedCoded;
    uint32_t expectedLength;
};

const IoctlRow* g_row = nullptr;

int FakeIoctl(int, unsigned long request, void* argument) {
    if (request != SG_IO) return -1;
    auto* h = static_cast<sg_io_hdr_t*>(argument);
    if (g_row->rc < 0) {
        errno = g_row->err;
        return -1;
    }
    h->status = g_row->status;
    h->host_status = g_row->host;
    h->driver_status = g_row->driver;
    h->sb_len_wr = g_row->senseWritten;
    h->resid = g_row->resid;
    if (h->sbp) std::memcpy(h->sbp, g_row->sense, std::min<size_t>(h->mx_sb_len, sizeof g_row->sense));
    return 0;
}

class FakeKernelResolver final : public optical::ITransportResolver {
public:
    explicit FakeKernelResolver(int fd) : transport_(fd, &FakeIoctl) {}
    optical::ScsiTransport* TransportFor(platform::FileHandle) override { return &transport_; }

private:
    optical::SgIoTransport transport_;
};

constexpr uint8_t kMediumError[18] = {0x70, 0, 0x03, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x11, 0x00};

TEST(ScsiCommand, SgIoOutcomesGiveResultLastErrorAndCodedWord) {
    const IoctlRow rows[] = {
        {"good", 0, 0, 0, 0, 0, 0, 0, {}, 1, 0, 0, 2048},
        {"ioctl refused EACCES", -1, EACCES, 0, 0, 0, 0, 0, {}, 0, 5, 0xa51496e4, 0},
        {"medium error 03/11/00", 0, 0, 2, 0, 0x08, 18, 0, {0x70, 0, 0x03, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x11, 0x00}, 0,
         0, 0x5a2d95c9, 2048},
        {"timeout: status 0, host DID_TIME_OUT", 0, 0, 0, 3, 0, 0, 2048, {}, 0, platform::ErrorFromErrno(ETIMEDOUT),
         0, 0},
        {"driver timeout, no sense", 0, 0, 0, 0, 6, 0, 2048, {}, 0, platform::ErrorFromErrno(ETIMEDOUT), 0, 0},
        {"resid beyond the request", 0, 0, 0, 0, 0, 0, 4096, {}, 0, platform::ErrorFromErrno(EIO), 0, 0},
        {"negative resid", 0, 0, 0, 0, 0, 0, -5, {}, 0, platform::ErrorFromErrno(EIO), 0, 0},
        {"short transfer honoured", 0, 0, 0, 0, 0, 0, 48, {}, 1, 0, 0, 2000},
        {"sense length beyond the buffer", 0, 0, 2, 0, 0x08, 0xFF, 0, {}, 0, platform::ErrorFromErrno(EIO), 0, 0},
        {"busy status without sense", 0, 0, 8, 0, 0, 0, 2048, {}, 0, 0, 0x5a3c96c9, 0},
        {"descriptor sense 03/11/00", 0, 0, 2, 0, 0x08, 8, 0, {0x72, 0x03, 0x11, 0x00}, 0, 0, 0x5a2d95c9, 2048},
        {"check condition with 10 sense bytes", 0, 0, 2, 0, 0x08, 10, 0, {0x70, 0, 0x03, 0, 0, 0, 0, 10}, 0, 0,
         0x5a3c96c9, 2048},
    };
    platform::FileHandle file = platform::FileOpenUtf8("/dev/null", platform::FileAccess::Read,
                                                       platform::FileDisposition::OpenExisting);
    ASSERT_NE(file, nullptr);
    FakeKernelResolver resolver(platform::FileDescriptor(file));
    foundation::ScopedServices<optical::SetTransportResolver> scope(&resolver);
    for (const IoctlRow& row : rows) {
        SCOPED_TRACE(row.name);
        g_row = &row;
        uint8_t cdb[10] = {0x28, 0, 0, 0, 0, 0x10, 0, 0, 1, 0};
        std::vector<uint8_t> buffer(2048);
        uint32_t length = 2048;
        uint8_t sense[18];
        int result = optical::ExecuteScsiCommand(file, cdb, 10, buffer.data(), &length, sense, sizeof sense, 1, 100);
        EXPECT_EQ(result, row.expectedResult);
        EXPECT_EQ(platform::GetLastError(), row.expectedLastError);
        if (row.expectedCoded) {
            EXPECT_EQ(optical::g_ScsiLastError, row.expectedCoded);
        }
        if (row.expectedResult == 0 && row.expectedCoded == 0) {
            EXPECT_NE(optical::g_ScsiLastError, 0u);
        }
        if (row.expectedResult == 1) {
            EXPECT_EQ(length, row.expectedLength);
        }
    }
    platform::FileClose(file);
}

TEST(ScsiCommand, RefusesMalformedRequestsBeforeSending) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x0008\n"));
    uint8_t buffer[16];
    struct Row {
        const char* name;
        uint8_t cdb[16];
        uint32_t cdbLength;
        bool withBuffer;
        uint32_t length;
    } rows[] = {
        {"INQUIRY in a 10-byte CDB", {0x12}, 10, true, 16},
        {"READ(10) in a 6-byte CDB", {0x28}, 6, true, 16},
        {"zero length with a buffer", {0x12}, 6, true, 0},
        {"a length without a buffer", {0x12}, 6, false, 16},
        {"CDB longer than 16", {0x12}, 17, true, 16},
        {"GET CONFIGURATION in 12 bytes", {0x46}, 12, true, 16},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        uint32_t length = row.length;
        EXPECT_EQ(optical::ExecuteScsiCommand(fixture.Handle(), row.cdb, row.cdbLength, row.withBuffer ? buffer : nullptr,
                                              &length, nullptr, 0, 1, 100),
                  0);
    }
    EXPECT_TRUE(fixture.drive.Log().empty());
    EXPECT_FALSE(optical::IsCdbLengthValid((const uint8_t[]){0xA8}, 10));
    EXPECT_TRUE(optical::IsCdbLengthValid((const uint8_t[]){0xE0}, 7));
}

TEST(ScsiCommand, SenseIsCopiedInFixedFormatAndCappedByTheCaller) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x0008\n"));
    struct Row {
        const char* name;
        softdrive::Fault::Kind kind;
        uint32_t senseLength;
        uint32_t expectCopied;
    } rows[] = {
        {"fixed into 18", softdrive::Fault::Kind::Sense, 18, 18},
        {"fixed into 8", softdrive::Fault::Kind::Sense, 8, 8},
        {"descriptor into 18", softdrive::Fault::Kind::DescriptorSense, 18, 18},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fixture.drive.ClearFaults();
        softdrive::Fault fault;
        fault.kind = row.kind;
        fault.opcode = 0x00;
        fault.key = 2;
        fault.asc = 0x3A;
        fault.ascq = 0x01;
        fixture.drive.AddFault(fault);
        uint8_t cdb[6] = {0};
        uint8_t sense[32];
        std::memset(sense, 0xEE, sizeof sense);
        uint32_t length = 0;
        EXPECT_EQ(optical::ExecuteScsiCommand(fixture.Handle(), cdb, 6, nullptr, &length, sense, row.senseLength, 0, 10), 0);
        EXPECT_EQ(optical::g_ScsiLastSenseCode, 0x023A01u);
        if (row.senseLength >= 14) {
            EXPECT_EQ(sense[2] & 0x0F, 2);
            EXPECT_EQ(sense[12], 0x3A);
        }
        EXPECT_EQ(sense[row.expectCopied], 0xEE) << "nothing written past the caller's length";
    }
}

TEST(ScsiCommand, LastCommandStateBelongsToEachThread) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x0008\n"));
    softdrive::Fault fault;
    fault.opcode = 0x2A;
    fault.key = 3;
    fault.asc = 0x0C;
    fixture.drive.AddFault(fault);
    uint8_t write[10] = {0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    uint8_t data[2048] = {};
    uint32_t length = sizeof data;
    ASSERT_EQ(optical::ExecuteScsiCommand(fixture.Handle(), write, 10, data, &length, nullptr, 0, 0, 50), 0);
    uint32_t coded = optical::g_ScsiLastError;
    ASSERT_NE(coded, 0u);
    std::thread reader([&] {
        uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
        uint8_t reply[36];
        uint32_t len = sizeof reply;
        EXPECT_EQ(optical::ExecuteScsiCommand(fixture.Handle(), inquiry, 6, reply, &len, nullptr, 0, 1, 100), 1);
        EXPECT_EQ(optical::g_ScsiLastError, 0u);
    });
    reader.join();
    EXPECT_EQ(optical::g_ScsiLastError, coded);
}

TEST(ScsiCommand, ReadOnlyDriveRefusesWritesWithTheGroupHint) {
    platform::FileHandle file = platform::FileOpenUtf8("/dev/null", platform::FileAccess::Read,
                                                       platform::FileDisposition::OpenExisting);
    ASSERT_NE(file, nullptr);
    const IoctlRow row{"EPERM", -1, EPERM, 0, 0, 0, 0, 0, {}, 0, 5, 0, 0};
    g_row = &row;
    FakeKernelResolver resolver(platform::FileDescriptor(file));
    foundation::ScopedServices<optical::SetTransportResolver> scope(&resolver);
    uint8_t cdb[10] = {0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    uint8_t data[2048] = {};
    uint32_t length = sizeof data;
    EXPECT_EQ(optical::ExecuteScsiCommand(file, cdb, 10, data, &length, nullptr, 0, 0, 50), 0);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
    EXPECT_NE(std::u16string(optical::ReadOnlyDriveHint()).find(u"cdrom"), std::u16string::npos);
    platform::FileClose(file);
}

TEST(ScsiCommand, OneSectorPathSendsOneReadPerSector) {
    softdrive::ScopedSoftDrive fixture;
    ASSERT_TRUE(fixture.Load("profile 0x0008\ntrack mode=1 length=40\n"));
    std::vector<uint8_t> buffer(5 * 2048);
    EXPECT_EQ(optical::AspiReadSectors(fixture.Handle(), nullptr, buffer.data(), 3, 5), 1);
    ASSERT_EQ(fixture.drive.Count(0x28), 5u);
    EXPECT_EQ(fixture.drive.Log()[4].cdb[5], 7);
    EXPECT_EQ(fixture.drive.Log()[4].cdb[8], 1);
}

}  // namespace
