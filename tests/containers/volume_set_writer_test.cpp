// The volume-set appender: a stream appended in pieces of any size lands in
// volumes of the chosen size behind their header areas, volume 0 keeping room
// for its trailer; rewrites by offset reach across volume ends; a set with
// more volumes than its style can name, or a disk with room for nothing,
// fails with its reason.

#include "containers/volume_set_writer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/volume_set_services.h"
#include "foundation/services.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

class CountingDialogs : public qvtest::NullVolumeSetServices {
public:
    void ReportTooManyVolumes() override { ++tooManyVolumes; }
    int tooManyVolumes = 0;
};

using containers::OutputVolume;
using containers::VolumeSetLayout;
using containers::VolumeSetWriter;

// Opens each volume as a new file and closes them all at the end.
class Files {
public:
    ~Files() {
        for (platform::FileHandle file : files_) platform::FileClose(file);
    }
    containers::VolumeOpener Opener() {
        return [this](std::u16string_view path) {
            platform::FileHandle file = platform::FileOpen(path, platform::FileAccess::ReadWrite,
                                                           platform::FileDisposition::CreateNew);
            if (file) files_.push_back(file);
            return file;
        };
    }

private:
    std::vector<platform::FileHandle> files_;
};

std::vector<uint8_t> Stream(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t(i * 131 + i / 251);
    return bytes;
}

VolumeSetLayout Layout(const std::u16string& folder, uint64_t limit, uint32_t maxVolumes, uint64_t area,
                       uint64_t trailer) {
    VolumeSetLayout layout;
    layout.split = true;
    layout.limit = limit;
    layout.maxVolumes = maxVolumes;
    layout.laterAreaBytes = area;
    layout.nameOf = [folder](uint32_t index) -> std::optional<std::u16string> {
        return folder + u"/v" + platform::Utf8ToUtf16(std::to_string(index));
    };
    layout.laterArea = [area](uint32_t index) { return std::vector<uint8_t>(size_t(area), uint8_t(0xA0 + index)); };
    if (trailer != 0) {
        layout.firstTrailerBytes = trailer;
        layout.firstTrailer = [trailer] { return std::vector<uint8_t>(size_t(trailer), 0xEE); };
    }
    return layout;
}

TEST(VolumeSetWriter, StreamsSplitIntoVolumesAndRewriteAcrossThem) {
    struct Row {
        const char* why;
        uint64_t limit;
        uint64_t area;
        uint64_t trailer;
        size_t total;
        size_t piece;   // appended in pieces of this size
        size_t volumes;
    };
    const Row rows[] = {
        {"pieces smaller than a volume", 1000, 100, 0, 4500, 7, 5},
        {"pieces larger than a volume", 1000, 40, 0, 4500, 2600, 5},
        {"a stream that ends on a volume's end opens no empty volume", 1000, 100, 0, 1000 + 900 * 2, 900, 3},
        {"volume 0 keeps room for its trailer", 1000, 100, 28, 4500, 333, 5},
        {"one byte in each later volume", 101, 100, 0, 110, 3, 10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        qvtest::TempDir dir;
        const std::u16string folder = platform::Utf8ToUtf16(dir.path());
        Files files;
        VolumeSetWriter writer;
        ASSERT_TRUE(writer.Open(folder + u"/v0", files.Opener(),
                                Layout(folder, row.limit, 1000, row.area, row.trailer)));
        const std::vector<uint8_t> stream = Stream(row.total);
        for (size_t at = 0; at < stream.size(); at += row.piece)
            ASSERT_TRUE(writer.Append(stream.data() + at, std::min(row.piece, stream.size() - at)));
        // Bytes in the middle of the stream rewritten across every volume end.
        const std::vector<uint8_t> patch(row.total / 2, 0x5A);
        ASSERT_TRUE(writer.Rewrite(row.total / 4, patch.data(), patch.size()));
        std::vector<uint8_t> expected = stream;
        std::copy(patch.begin(), patch.end(), expected.begin() + long(row.total / 4));

        ASSERT_EQ(writer.Volumes().size(), row.volumes);
        std::vector<uint8_t> joined;
        for (size_t i = 0; i < row.volumes; ++i) {
            const std::vector<uint8_t> file = qvtest::ReadFileBytes(dir / ("v" + std::to_string(i)));
            EXPECT_EQ(file.size(), writer.Volumes()[i].size);
            EXPECT_LE(file.size(), row.limit);
            size_t from = 0, to = file.size();
            if (i > 0) {
                ASSERT_GE(file.size(), row.area);
                EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + long(row.area)),
                          std::vector<uint8_t>(size_t(row.area), uint8_t(0xA0 + i)));
                from = size_t(row.area);
            } else if (row.trailer != 0 && row.volumes > 1) {
                ASSERT_EQ(file.size(), row.limit);
                EXPECT_EQ(std::vector<uint8_t>(file.end() - long(row.trailer), file.end()),
                          std::vector<uint8_t>(size_t(row.trailer), 0xEE));
                to -= size_t(row.trailer);
            }
            EXPECT_EQ(writer.Share(i), to - from);
            joined.insert(joined.end(), file.begin() + long(from), file.begin() + long(to));
        }
        EXPECT_EQ(joined, expected);
    }
}

TEST(VolumeSetWriter, FailuresSayWhy) {
    qvtest::TempDir dir;
    const std::u16string folder = platform::Utf8ToUtf16(dir.path());
    const std::vector<uint8_t> stream = Stream(5000);
    {
        // Three volumes of a style that names two.
        CountingDialogs dialogs;
        foundation::ScopedServices<foundation::SetVolumeSetServices> installed{&dialogs};
        Files files;
        VolumeSetWriter writer;
        ASSERT_TRUE(writer.Open(folder + u"/v0", files.Opener(), Layout(folder, 2000, 2, 100, 0)));
        EXPECT_FALSE(writer.Append(stream.data(), stream.size()));
        EXPECT_EQ(dialogs.tooManyVolumes, 1);
        EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidParameter);
        EXPECT_EQ(writer.Volumes().size(), 2u);
    }
    {
        // Without a volume size a volume ends when its disk is full; a disk
        // that takes nothing at all fails the save rather than open volumes
        // without end.
        Files files;
        VolumeSetWriter writer;
        const containers::VolumeOpener full = [](std::u16string_view) {
            return platform::FileOpen(u"/dev/full", platform::FileAccess::ReadWrite,
                                      platform::FileDisposition::OpenExisting);
        };
        ASSERT_TRUE(writer.Open(u"/dev/full", full, Layout(folder, 0, 99, 100, 0)));
        EXPECT_FALSE(writer.Append(stream.data(), stream.size()));
        EXPECT_EQ(platform::GetLastError(), platform::kErrorDiskFull);
        EXPECT_EQ(writer.Volumes().size(), 1u);
        platform::FileClose(writer.Volumes()[0].file);
    }
}

}  // namespace
