#pragma once
// Disks for the disk-image tests, made at test time by the tools we read
// against: sfdisk lays out the partition table of a sparse raw disk, seeded
// random bytes fill stretches inside it (across the block, grain and extent
// boundaries of the virtual formats), and qemu-img converts the raw disk into
// each virtual format and back (its raw output is the oracle of every sector).

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "filesystems/disk/disk_image.h"
#include "filesystems/disk/virtual_disk.h"
#include "image/document/document.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace disktest {

using qvtest::RunOk;
using qvtest::ShellQuote;

// One primary partition, then an extended partition with
// three logical partitions (Linux, NTFS, FAT16).
inline const char* kFiveEntryLayout =
    "label: dos\n"
    "start=2048,size=4096,type=83\n"
    "start=8192,type=5\n"
    "start=10240,size=4096,type=83\n"
    "start=16384,size=4096,type=7\n"
    "start=22528,size=4096,type=6\n";

// Stretches of random bytes, in sectors: whole partitions, a run that starts
// and ends inside blocks and grains, and single sectors near block ends.
inline const std::vector<std::pair<uint64_t, uint64_t>> kDataRuns = {
    {2048, 4096}, {10240 + 37, 3001}, {16384 + 4095, 1}, {22528, 4096}, {40959, 2}, {65535, 1}};

// Writes the runs of seeded random bytes into the file at the given sectors.
inline void FillRuns(const std::string& path, const std::vector<std::pair<uint64_t, uint64_t>>& runs,
                     uint32_t seed) {
    std::mt19937 random(seed);
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    for (const auto& [first, count] : runs) {
        std::vector<uint8_t> bytes(count * 512);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(first * 512)),
                  static_cast<ssize_t>(bytes.size()));
    }
    ::close(fd);
}

// A sparse raw disk of sizeMiB with the sfdisk layout and the runs filled.
inline std::string MakeRawDisk(const qvtest::TempDir& dir, const std::string& name, uint64_t sizeMiB,
                               const char* layout = kFiveEntryLayout,
                               const std::vector<std::pair<uint64_t, uint64_t>>& runs = kDataRuns) {
    const std::string path = dir / name;
    RunOk("truncate -s " + std::to_string(sizeMiB) + "M " + ShellQuote(path));
    RunOk("printf " + ShellQuote(layout) + " | sfdisk -q " + ShellQuote(path));
    std::vector<std::pair<uint64_t, uint64_t>> inside;
    for (const auto& run : runs) {
        if (run.first + run.second <= sizeMiB * 2048) inside.push_back(run);
    }
    FillRuns(path, inside, 20261211);
    return path;
}

// qemu-img convert from raw into the format (arguments after -O).
inline std::string Convert(const qvtest::TempDir& dir, const std::string& raw, const std::string& formatArgs,
                           const std::string& name) {
    const std::string out = dir / name;
    RunOk("cd " + ShellQuote(dir.path()) + " && qemu-img convert -f raw -O " + formatArgs + " " + ShellQuote(raw) +
          " " + ShellQuote(out));
    return out;
}

// qemu-img's own reading of the disk, as a raw file.
// The format is named: qemu-img's probe takes a fixed VHD for a raw file.
inline std::string QemuRaw(const qvtest::TempDir& dir, const std::string& disk, const std::string& name,
                           const std::string& format) {
    const std::string out = dir / name;
    RunOk("qemu-img convert -f " + format + " -O raw " + ShellQuote(disk) + " " + ShellQuote(out));
    return out;
}

// A bare record over the file with the back ends asked, as the disk opener
// asks them.
struct BackEnd {
    image::DocumentPtr ctx;
    int opened = 0;
    filesystems::DiskRefusal refusal = filesystems::DiskRefusal::kNone;
};

inline BackEnd OpenBackEnd(const std::string& path) {
    BackEnd result;
    result.ctx.reset(new image::ImageContext());
    result.ctx->imagePath = platform::Utf8ToUtf16(path);
    result.ctx->imageHandle.reset(foundation::OpenFileForRead(result.ctx->imagePath));
    if (!result.ctx->imageHandle) return result;
    result.ctx->imageSize = foundation::GetFileSize64(result.ctx->imageHandle.get());
    result.opened = filesystems::OpenVirtualDisk(*result.ctx, &result.refusal);
    return result;
}

// Sector by sector comparison of the disk as we read it with a raw file, read
// in chunks of the given sizes in turn (so reads start and end everywhere),
// over the windows {first sector, count} given, else the whole disk.
inline ::testing::AssertionResult SameSectors(image::ImageContext& ctx, const std::string& rawPath,
                                              const std::vector<uint32_t>& chunks,
                                              std::vector<std::pair<uint64_t, uint64_t>> windows = {}) {
    const int fd = ::open(rawPath.c_str(), O_RDONLY);
    if (fd < 0) return ::testing::AssertionFailure() << "cannot open " << rawPath;
    const uint64_t rawBytes = static_cast<uint64_t>(::lseek(fd, 0, SEEK_END));
    if (filesystems::DiskSizeBytes(ctx) != rawBytes) {
        ::close(fd);
        return ::testing::AssertionFailure() << "size " << filesystems::DiskSizeBytes(ctx) << " != " << rawBytes;
    }
    if (windows.empty()) windows.push_back({0, rawBytes / 512});
    std::vector<uint8_t> buffer, expected;
    size_t turn = 0;
    for (const auto& [first, count] : windows) {
        for (uint64_t at = first; at < first + count;) {
            const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(chunks[turn++ % chunks.size()], first + count - at));
            buffer.assign(size_t(n) * 512, 0xCC);
            expected.assign(size_t(n) * 512, 0);
            if (::pread(fd, expected.data(), expected.size(), static_cast<off_t>(at * 512)) !=
                static_cast<ssize_t>(expected.size())) {
                ::close(fd);
                return ::testing::AssertionFailure() << "raw file short at sector " << at;
            }
            const uint32_t got = filesystems::ReadDiskSectors(ctx, at, buffer.data(), n);
            if (got != n) {
                ::close(fd);
                return ::testing::AssertionFailure() << "short read at sector " << at << ": " << got;
            }
            for (uint32_t i = 0; i < n; ++i) {
                if (std::memcmp(buffer.data() + size_t(i) * 512, expected.data() + size_t(i) * 512, 512) != 0) {
                    ::close(fd);
                    return ::testing::AssertionFailure() << "sector " << at + i << " differs";
                }
            }
            at += n;
        }
    }
    ::close(fd);
    return ::testing::AssertionSuccess();
}

// The partitions sfdisk lists (start, size, type), extended entries left out.
struct ToolRow {
    uint64_t start = 0;
    uint64_t size = 0;
    unsigned type = 0;
};
inline std::vector<ToolRow> SfdiskRows(const std::string& path) {
    std::vector<ToolRow> rows;
    const std::string dump = RunOk("sfdisk -d " + ShellQuote(path));
    size_t at = 0;
    while ((at = dump.find("start=", at)) != std::string::npos) {
        ToolRow row;
        if (std::sscanf(dump.c_str() + at, "start=%lu, size=%lu, type=%x", &row.start, &row.size, &row.type) == 3 &&
            row.type != 0x05 && row.type != 0x0F) {
            rows.push_back(row);
        }
        ++at;
    }
    return rows;
}

}  // namespace disktest
