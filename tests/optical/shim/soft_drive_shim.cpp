// A preload library for tests: it shows the software drive to programs we did
// not write (sg_inq, sg_get_config, sdparm, dvd+rw-mediainfo, cdrdao, cd-info)
// as a CD/DVD block device at the path in QV_SOFT_DRIVE_PATH, with the disc of
// the manifest file in QV_SOFT_DRIVE_MANIFEST. Opening the path gives a
// descriptor of /dev/null; stat calls on it report a block device of major 11;
// SG_IO on it goes to the software drive.

// Both the plain and the 64-bit entry points are defined here by name.
#undef _FILE_OFFSET_BITS
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>

#include "soft_drive/soft_drive.h"

namespace {

// Recursive: the drive opens and stats its image files through these same entry points.
std::recursive_mutex g_lock;
std::set<int> g_fds;
softdrive::SoftDrive* g_drive = nullptr;

const char* FakePath() { return std::getenv("QV_SOFT_DRIVE_PATH"); }

bool IsFake(const char* path) {
    const char* fake = FakePath();
    return fake && path && std::strcmp(fake, path) == 0;
}

bool IsFakeFd(int fd) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return g_fds.count(fd) != 0;
}

softdrive::SoftDrive* Drive() {
    if (g_drive) return g_drive;
    const char* manifestPath = std::getenv("QV_SOFT_DRIVE_MANIFEST");
    std::ifstream in(manifestPath ? manifestPath : "");
    std::stringstream text;
    text << in.rdbuf();
    auto* drive = new softdrive::SoftDrive;
    std::string error;
    if (!drive->LoadText(text.str(), error)) {
        (void)!write(2, error.data(), error.size());
        (void)!write(2, "\n", 1);
    }
    g_drive = drive;
    return g_drive;
}

template <typename Fn>
Fn Next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

int OpenFake(const char* path, int flags) {
    if (!IsFake(path)) return -2;
    using OpenFn = int (*)(const char*, int, ...);
    static OpenFn realOpen = Next<OpenFn>("open");
    int fd = realOpen("/dev/null", (flags & O_ACCMODE) | O_CLOEXEC);
    if (fd >= 0) {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        g_fds.insert(fd);
    }
    return fd;
}

void FakeStat(struct stat* st) {
    std::memset(st, 0, sizeof *st);
    st->st_mode = S_IFBLK | 0660;
    st->st_rdev = makedev(11, 0);
    st->st_blksize = 2048;
    st->st_nlink = 1;
}

int SgIo(sg_io_hdr_t* h) {
    if (h->interface_id != 'S') {
        errno = ENOSYS;
        return -1;
    }
    optical::TransportRequest request;
    request.cdb = std::span<const uint8_t>(h->cmdp, h->cmd_len);
    switch (h->dxfer_direction) {
        case SG_DXFER_FROM_DEV: request.direction = optical::DataDirection::In; break;
        case SG_DXFER_TO_DEV: request.direction = optical::DataDirection::Out; break;
        default: request.direction = optical::DataDirection::None; break;
    }
    if (h->iovec_count != 0) {
        errno = EINVAL;
        return -1;
    }
    request.data = static_cast<uint8_t*>(h->dxferp);
    request.dataLength = h->dxfer_direction == SG_DXFER_NONE ? 0 : h->dxfer_len;
    request.timeoutMs = h->timeout;
    request.sense = h->sbp;
    request.senseCapacity = h->mx_sb_len;
    optical::TransportResult result;
    {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        result = Drive()->Execute(request);
    }
    if (std::getenv("QV_SOFT_DRIVE_TRACE")) {
        char line[128];
        int n = std::snprintf(line, sizeof line, "shim: cdb");
        for (size_t i = 0; i < request.cdb.size() && n < 100; ++i)
            n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), " %02x", request.cdb[i]);
        n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), " -> %u\n", result.status);
        (void)!write(2, line, static_cast<size_t>(n));
    }
    if (result.sysErrno) {
        errno = result.sysErrno;
        return -1;
    }
    h->status = result.status;
    h->masked_status = static_cast<unsigned char>(result.status >> 1);
    h->host_status = result.hostStatus;
    h->driver_status = result.driverStatus;
    h->resid = result.resid;
    h->sb_len_wr = result.senseLength;
    h->info = (result.status || result.hostStatus || result.driverStatus) ? SG_INFO_CHECK : SG_INFO_OK;
    h->duration = 1;
    return 0;
}

// One command to the drive, as the kernel's CD-ROM driver would send it.
bool Command(const uint8_t* cdb, size_t cdbLength, optical::DataDirection direction, uint8_t* data, uint32_t length,
             uint32_t* moved = nullptr, uint8_t* sense = nullptr) {
    optical::TransportRequest request;
    request.cdb = std::span<const uint8_t>(cdb, cdbLength);
    request.direction = direction;
    request.data = data;
    request.dataLength = length;
    uint8_t senseBytes[18] = {};
    request.sense = sense ? sense : senseBytes;
    request.senseCapacity = 18;
    optical::TransportResult result;
    {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        result = Drive()->Execute(request);
    }
    if (moved) *moved = length - static_cast<uint32_t>(std::max(0, result.resid));
    return result.sysErrno == 0 && result.status == 0 && result.hostStatus == 0 &&
           (result.driverStatus & ~0x08) == 0;
}

// The plain TOC, in LBA or MSF form.
bool ReadToc(bool msf, uint8_t* toc, uint32_t size) {
    uint8_t cdb[10] = {0x43, static_cast<uint8_t>(msf ? 2 : 0), 0, 0, 0, 0, 0, static_cast<uint8_t>(size >> 8),
                       static_cast<uint8_t>(size)};
    return Command(cdb, 10, optical::DataDirection::In, toc, size);
}

int CdromIoctl(unsigned long request, void* argument) {
    uint8_t toc[804] = {};
    switch (request) {
        case CDROM_SEND_PACKET: {
            auto* cgc = static_cast<cdrom_generic_command*>(argument);
            size_t cdbLength = (cgc->cmd[0] >> 5) == 0 ? 6 : (cgc->cmd[0] >> 5) <= 2 ? 10 : 12;
            optical::DataDirection direction = cgc->data_direction == CGC_DATA_READ    ? optical::DataDirection::In
                                               : cgc->data_direction == CGC_DATA_WRITE ? optical::DataDirection::Out
                                                                                       : optical::DataDirection::None;
            uint8_t sense[18] = {};
            uint32_t moved = 0;
            bool ok = Command(cgc->cmd, cdbLength, direction, cgc->buffer,
                              direction == optical::DataDirection::None ? 0 : cgc->buflen, &moved, sense);
            if (cgc->sense) std::memcpy(cgc->sense, sense, std::min(sizeof sense, sizeof(request_sense)));
            cgc->stat = ok ? 0 : 2;
            if (!ok) {
                errno = EIO;
                return -1;
            }
            return 0;
        }
        case CDROMREADTOCHDR: {
            if (!ReadToc(false, toc, sizeof toc)) break;
            auto* header = static_cast<cdrom_tochdr*>(argument);
            header->cdth_trk0 = toc[2];
            header->cdth_trk1 = toc[3];
            return 0;
        }
        case CDROMREADTOCENTRY: {
            auto* entry = static_cast<cdrom_tocentry*>(argument);
            bool msf = entry->cdte_format == CDROM_MSF;
            if (!ReadToc(msf, toc, sizeof toc)) break;
            uint32_t end = std::min<uint32_t>((toc[0] << 8 | toc[1]) + 2, sizeof toc);
            for (uint32_t at = 4; at + 8 <= end; at += 8) {
                if (toc[at + 2] != entry->cdte_track) continue;
                entry->cdte_adr = toc[at + 1] >> 4;
                entry->cdte_ctrl = toc[at + 1] & 0x0F;
                if (msf) {
                    entry->cdte_addr.msf.minute = toc[at + 5];
                    entry->cdte_addr.msf.second = toc[at + 6];
                    entry->cdte_addr.msf.frame = toc[at + 7];
                } else {
                    entry->cdte_addr.lba = static_cast<int>(static_cast<uint32_t>(toc[at + 4]) << 24 |
                                                            toc[at + 5] << 16 | toc[at + 6] << 8 | toc[at + 7]);
                }
                entry->cdte_datamode = (entry->cdte_ctrl & 4) ? 1 : 0;
                return 0;
            }
            errno = EINVAL;
            return -1;
        }
        case CDROMMULTISESSION: {
            auto* multi = static_cast<cdrom_multisession*>(argument);
            uint8_t cdb[10] = {0x43, static_cast<uint8_t>(multi->addr_format == CDROM_MSF ? 2 : 0), 1, 0, 0, 0, 0, 0, 12};
            uint8_t reply[12] = {};
            if (!Command(cdb, 10, optical::DataDirection::In, reply, sizeof reply)) break;
            multi->xa_flag = reply[3] > 1;
            if (multi->addr_format == CDROM_MSF) {
                multi->addr.msf.minute = reply[9];
                multi->addr.msf.second = reply[10];
                multi->addr.msf.frame = reply[11];
            } else {
                multi->addr.lba = static_cast<int>(static_cast<uint32_t>(reply[8]) << 24 | reply[9] << 16 |
                                                   reply[10] << 8 | reply[11]);
            }
            return 0;
        }
        case CDROM_DRIVE_STATUS: {
            uint8_t tur[6] = {0};
            return Command(tur, 6, optical::DataDirection::None, nullptr, 0) ? CDS_DISC_OK : CDS_NO_DISC;
        }
        case CDROM_DISC_STATUS: {
            if (!ReadToc(false, toc, sizeof toc)) return CDS_NO_DISC;
            uint32_t end = std::min<uint32_t>((toc[0] << 8 | toc[1]) + 2, sizeof toc);
            bool data = false, audio = false;
            for (uint32_t at = 4; at + 8 <= end; at += 8) {
                if (toc[at + 2] == 0xAA) continue;
                ((toc[at + 1] & 4) ? data : audio) = true;
            }
            return data && audio ? CDS_MIXED : data ? CDS_DATA_1 : CDS_AUDIO;
        }
        case CDROM_GET_CAPABILITY:
            return CDC_CLOSE_TRAY | CDC_OPEN_TRAY | CDC_LOCK | CDC_SELECT_SPEED | CDC_MULTI_SESSION | CDC_MCN |
                   CDC_MEDIA_CHANGED | CDC_PLAY_AUDIO | CDC_GENERIC_PACKET | CDC_CD_R | CDC_CD_RW | CDC_DVD | CDC_MRW |
                   CDC_RAM;
        default:
            errno = ENOTTY;
            return -1;
    }
    errno = EIO;
    return -1;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    int fd = OpenFake(path, flags);
    if (fd != -2) return fd;
    va_list args;
    va_start(args, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    using OpenFn = int (*)(const char*, int, ...);
    static OpenFn real = Next<OpenFn>("open");
    return real(path, flags, mode);
}
int open64(const char* path, int flags, ...) {
    int fd = OpenFake(path, flags);
    if (fd != -2) return fd;
    va_list args;
    va_start(args, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    using OpenFn = int (*)(const char*, int, ...);
    static OpenFn real = Next<OpenFn>("open64");
    return real(path, flags, mode);
}
int openat(int dirfd, const char* path, int flags, ...) {
    int fd = OpenFake(path, flags);
    if (fd != -2) return fd;
    va_list args;
    va_start(args, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    using OpenatFn = int (*)(int, const char*, int, ...);
    static OpenatFn real = Next<OpenatFn>("openat");
    return real(dirfd, path, flags, mode);
}
int openat64(int dirfd, const char* path, int flags, ...) {
    int fd = OpenFake(path, flags);
    if (fd != -2) return fd;
    va_list args;
    va_start(args, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    using OpenatFn = int (*)(int, const char*, int, ...);
    static OpenatFn real = Next<OpenatFn>("openat64");
    return real(dirfd, path, flags, mode);
}
int __open_2(const char* path, int flags) { return open(path, flags); }
int __open64_2(const char* path, int flags) { return open64(path, flags); }

int close(int fd) {
    {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        g_fds.erase(fd);
    }
    using CloseFn = int (*)(int);
    static CloseFn real = Next<CloseFn>("close");
    return real(fd);
}

int stat(const char* path, struct stat* st) {
    if (IsFake(path)) {
        FakeStat(st);
        return 0;
    }
    using StatFn = int (*)(const char*, struct stat*);
    static StatFn real = Next<StatFn>("stat");
    return real(path, st);
}
int stat64(const char* path, struct stat64* st) { return stat(path, reinterpret_cast<struct stat*>(st)); }
int lstat(const char* path, struct stat* st) {
    if (IsFake(path)) {
        FakeStat(st);
        return 0;
    }
    using StatFn = int (*)(const char*, struct stat*);
    static StatFn real = Next<StatFn>("lstat");
    return real(path, st);
}
int lstat64(const char* path, struct stat64* st) { return lstat(path, reinterpret_cast<struct stat*>(st)); }
int fstat(int fd, struct stat* st) {
    if (IsFakeFd(fd)) {
        FakeStat(st);
        return 0;
    }
    using FstatFn = int (*)(int, struct stat*);
    static FstatFn real = Next<FstatFn>("fstat");
    return real(fd, st);
}
int fstat64(int fd, struct stat64* st) { return fstat(fd, reinterpret_cast<struct stat*>(st)); }
int __xstat(int, const char* path, struct stat* st) { return stat(path, st); }
int __xstat64(int, const char* path, struct stat64* st) { return stat64(path, st); }
int __lxstat(int, const char* path, struct stat* st) { return lstat(path, st); }
int __lxstat64(int, const char* path, struct stat64* st) { return lstat64(path, st); }
int __fxstat(int, int fd, struct stat* st) { return fstat(fd, st); }
int __fxstat64(int, int fd, struct stat64* st) { return fstat64(fd, st); }

int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (IsFakeFd(fd)) {
        if (request == SG_IO) return SgIo(static_cast<sg_io_hdr_t*>(argument));
        if (request == SG_GET_VERSION_NUM) {
            *static_cast<int*>(argument) = 30527;
            return 0;
        }
        if (request == SG_SET_RESERVED_SIZE) return 0;
        if (request == SG_GET_RESERVED_SIZE) {
            *static_cast<int*>(argument) = 65536;
            return 0;
        }
        int cdrom = CdromIoctl(request, argument);
        if (cdrom >= 0 || errno != ENOTTY) return cdrom;
        if (std::getenv("QV_SOFT_DRIVE_TRACE")) {
            char line[64];
            int n = std::snprintf(line, sizeof line, "shim: ioctl 0x%lx\n", request);
            (void)!write(2, line, static_cast<size_t>(n));
        }
        errno = ENOTTY;
        return -1;
    }
    using IoctlFn = int (*)(int, unsigned long, ...);
    static IoctlFn real = Next<IoctlFn>("ioctl");
    return real(fd, request, argument);
}

}  // extern "C"
