// Resources of 4 GiB and more carry 8-byte chunk-table entries. A resource of
// 2^32 + 5 bytes is built by hand from one small XPRESS chunk of zeros
// repeated 131072 times and 5 stored bytes (a 35 MB file), and read until the first pieces have
// come out: the table is read in its 8-byte form and the chunks decode. The
// same table with one entry going backwards is refused before any data.

#include "filesystems/wim/wim_resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using namespace filesystems::wim;

// XPRESS: literal 0 has the code "0", the match symbol with no offset bits
// and length code 15 the code "1"; then the length 32767 in the raw bytes.
std::vector<uint8_t> ZeroChunk() {
    std::vector<uint8_t> chunk(256, 0);
    chunk[0] = 1;                        // symbol 0: length 1
    chunk[(256 + 15) / 2] = 1 << 4;      // symbol 271: length 1
    const uint8_t stream[] = {0x00, 0x40, 0x00, 0x00, 0xFF, 0xFC, 0x7F};   // bits "01", then 255, 32764
    chunk.insert(chunk.end(), stream, stream + sizeof stream);
    return chunk;
}

TEST(WimResource, ChunkTablesOfLargeResourcesHaveEightByteEntries) {
    qvtest::TempDir dir;
    const uint64_t size = (uint64_t{1} << 32) + 5;
    const uint64_t chunks = size / kChunkBytes + 1;
    const std::vector<uint8_t> chunk = ZeroChunk();
    std::vector<uint8_t> file((chunks - 1) * 8);
    for (uint64_t i = 1; i < chunks; ++i)
        for (int b = 0; b < 8; ++b) file[size_t((i - 1) * 8 + uint64_t(b))] = uint8_t((i * chunk.size()) >> (8 * b));
    for (uint64_t i = 0; i + 1 < chunks; ++i) file.insert(file.end(), chunk.begin(), chunk.end());
    file.insert(file.end(), 5, 0);   // the last chunk's 5 bytes, stored

    for (const bool backwards : {false, true}) {
        std::vector<uint8_t> bytes = file;
        if (backwards) bytes[5 * 8] = 1;   // entry 5 now points before entry 4
        const std::string path = dir / "resource";
        qvtest::WriteFileBytes(path, bytes.data(), bytes.size());
        foundation::UniqueFile handle(foundation::OpenFileForRead(platform::Utf8ToUtf16(path)));
        ASSERT_TRUE(handle);
        WimPart part;
        part.file = handle.get();
        part.fileBytes = bytes.size();
        part.header.compression = Compression::kXpress;
        ResourceEntry resource;
        resource.storedBytes = bytes.size();
        resource.flags = kResourceCompressed;
        resource.uncompressedBytes = size;
        uint64_t seen = 0;
        bool zeros = true;
        ResourceRead how;
        how.decodeThreads = 1;
        const ReadResult r = ReadResource(part, resource, [&](std::span<const uint8_t> piece) {
            zeros = zeros && std::all_of(piece.begin(), piece.end(), [](uint8_t b) { return b == 0; });
            seen += piece.size();
            return seen < (8u << 20);
        }, how);
        if (backwards) {
            EXPECT_EQ(r, ReadResult::kDamaged);
            EXPECT_EQ(seen, 0u);
        } else {
            EXPECT_EQ(r, ReadResult::kSinkFailed);
            EXPECT_GE(seen, 8u << 20);
            EXPECT_TRUE(zeros);
        }
    }
}

}  // namespace
