// Damaged MZP archives: one table of the edits that once made readers loop,
// divide by zero or read past their buffers (each with the header CRC made
// right again, so the edit reaches the code behind the first check), then a
// few hundred random mutations. Every case ends quickly with no container or
// with sector reads that fail cleanly; the sanitizers watch every access.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/other_openers.h"
#include "app/save_engine.h"
#include "codecs/crc32.h"
#include "containers/mzp/mzp_format.h"
#include "containers/mzp/mzp_reader.h"
#include "containers/mzp/mzp_volume_services.h"
#include "foundation/byte_order.h"
#include "foundation/file_io.h"
#include "image/build/add_disk_files.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/password_services.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/image/item_tree_fixture.h"
#include "tests/support/fake_services.h"
#include "tests/support/test_support.h"

namespace {

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

class GivePassword final : public image::IPasswordServices {
public:
    bool AskPassword(image::ImageContext* ctx, const uint8_t*) override {
        std::strcpy(ctx->outputPassword.data(), "pw");
        return true;
    }
};

void FixHeaderCrc(std::vector<uint8_t>& b) {
    if (b.size() >= 77) foundation::WriteLE32(&b[73], codecs::Crc32(b.data(), 73));
}

// Opens the bytes as an archive and reads every sector it claims (up to a cap).
// Returns whether a container came back.
bool OpenAndRead(const std::string& path, const std::vector<uint8_t>& bytes) {
    qvtest::WriteFileBytes(path, bytes.data(), bytes.size());
    image::ImageContext ctx;
    ctx.imagePath = U(path);
    ctx.imageHandle.reset(foundation::OpenFileForRead(ctx.imagePath));
    containers::MzpContainer* c = containers::OpenMzp(ctx, ctx.imagePath, ctx.imageHandle.get());
    if (!c) return false;
    std::vector<uint8_t> sector(2048);
    for (uint64_t s = 0; s < std::min<uint64_t>(c->totalSectors, 4096); s += 7)
        containers::CopyMzpSector(*c, uint32_t(s), sector.data());
    containers::CloseMzp(c);
    return true;
}

class MzpBadInput : public ::testing::Test {
protected:
    void SetUp() override {
        app::InstallReaders();
        previous_ = image::SetPasswordServices(&password_);
        qvtest::RunOk("cd " + qvtest::ShellQuote(dir_.path()) +
                      " && mkdir src && seq 1 30000 > src/t && head -c 200000 /dev/urandom > src/r");
    }
    void TearDown() override {
        image::SetPasswordServices(previous_);
        app::UninstallReaders();
    }
    std::vector<uint8_t> Make(const std::string& name, int level, bool password) {
        image::DocumentPtr doc(image::NewMzpDocument());
        image::AddDiskFolderContents(doc.get(), doc->rootFolder, U(dir_ / "src"), nullptr);
        doc->compressionLevel = level;
        if (password) {
            doc->passwordEnabled = 1;
            std::strcpy(doc->outputPassword.data(), "pw");
        }
        EXPECT_EQ(app::SaveDocument(*doc, U(dir_ / name), -1, nullptr), 0);
        return qvtest::ReadFileBytes(dir_ / name);
    }

    treetest::TreeDocument faces_;
    GivePassword password_;
    image::IPasswordServices* previous_ = nullptr;
    qvtest::TempDir dir_;
};

TEST_F(MzpBadInput, EditsOfTheEdgesFailCleanly) {
    const std::vector<uint8_t> plain = Make("p.mzp", 0, false);
    const std::vector<uint8_t> secret = Make("s.mzp", 0, true);
    ASSERT_TRUE(OpenAndRead(dir_ / "x.mzp", plain));
    ASSERT_TRUE(OpenAndRead(dir_ / "x.mzp", secret));

    struct Edit {
        const char* name;
        bool encrypted;
        void (*apply)(std::vector<uint8_t>&);
        bool opens;   // a container may come back, but its reads must fail or succeed cleanly
    };
    const Edit edits[] = {
        {"header CRC wrong", false, [](std::vector<uint8_t>& b) { b[73] ^= 1; }, false},
        {"chunk size 0", false, [](std::vector<uint8_t>& b) { foundation::WriteLE32(&b[37], foundation::ReadLE32(&b[37]) & ~0xFFFu); }, false},
        {"length bits 41", false, [](std::vector<uint8_t>& b) { b[62] = uint8_t(31 << 3 | 1); }, false},
        {"size 2^63", false, [](std::vector<uint8_t>& b) { foundation::WriteLE64(&b[41], uint64_t(1) << 63); }, false},
        {"size off 2048", false, [](std::vector<uint8_t>& b) { foundation::WriteLE64(&b[41], 2049); }, false},
        {"header length below 77", false, [](std::vector<uint8_t>& b) { foundation::WriteLE32(&b[16], 20); }, false},
        {"header length past the file", false, [](std::vector<uint8_t>& b) { foundation::WriteLE32(&b[16], 0x7FFFFFFF); }, false},
        {"encryption type 9", false, [](std::vector<uint8_t>& b) { b[28] = 9; }, true},
        {"a record of length 0", false,
         [](std::vector<uint8_t>& b) {
             // A comment record slot made from the table's first bytes.
             foundation::WriteLE32(&b[16], 77 + 8);
             b.insert(b.begin() + 77, 8, 0);
             foundation::WriteLE32(&b[77], 4);
         },
         false},
        {"a record of length 7", false,
         [](std::vector<uint8_t>& b) {
             foundation::WriteLE32(&b[16], 77 + 8);
             b.insert(b.begin() + 77, 8, 0);
             foundation::WriteLE32(&b[77], 4);
             foundation::WriteLE32(&b[81], 7);
         },
         false},
        {"5000 volumes", false,
         [](std::vector<uint8_t>& b) {
             std::vector<uint8_t> rec(60 + 16, 0);
             foundation::WriteLE32(&rec[0], 1);
             foundation::WriteLE32(&rec[4], 60);
             foundation::WriteLE32(&rec[8], 5000);
             foundation::WriteLE32(&rec[60], 2);
             foundation::WriteLE32(&rec[64], 16);
             foundation::WriteLE32(&rec[68], 5000);
             foundation::WriteLE32(&rec[72], 1);
             b.insert(b.begin() + 77, rec.begin(), rec.end());
             foundation::WriteLE32(&b[16], foundation::ReadLE32(&b[16]) + uint32_t(rec.size()));
         },
         false},
        {"first chunk length beyond any chunk", false,
         [](std::vector<uint8_t>& b) {
             const uint32_t table = foundation::ReadLE32(&b[16]);
             foundation::WriteLE32(&b[table], 0xFFFFFFFFu);
         },
         false},
        {"pad count 200", true,
         [](std::vector<uint8_t>& b) { b[foundation::ReadLE32(&b[24]) & 0xFFFFFF] = 200; }, true},
        {"cut to the header", false, [](std::vector<uint8_t>& b) { b.resize(77); }, false},
    };
    for (const Edit& e : edits) {
        std::vector<uint8_t> bytes = e.encrypted ? secret : plain;
        e.apply(bytes);
        if (std::string(e.name) != "header CRC wrong") FixHeaderCrc(bytes);
        EXPECT_EQ(OpenAndRead(dir_ / "x.mzp", bytes), e.opens) << e.name;
    }
}

TEST_F(MzpBadInput, RandomMutationsEndCleanly) {
    const std::vector<std::vector<uint8_t>> seeds = {Make("p.mzp", 0, false), Make("l.mzp", 1, false),
                                                     Make("s.mzp", 0, true)};
    std::mt19937 rng(20261211);
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes = seeds[size_t(round) % seeds.size()];
        const int flips = 1 + int(rng() % 8);
        for (int i = 0; i < flips; ++i) {
            // Mostly the header and the records and table behind it.
            const size_t span = rng() % 4 == 0 ? bytes.size() : std::min<size_t>(bytes.size(), 400);
            bytes[rng() % span] ^= uint8_t(1u << (rng() % 8));
        }
        if (rng() % 8 == 0) bytes.resize(rng() % bytes.size());
        FixHeaderCrc(bytes);
        OpenAndRead(dir_ / "m.mzp", bytes);
    }
}

TEST(MzpVolumes, StandInOpensNoMissingVolume) {
    platform::SetLastError(0);
    EXPECT_EQ(containers::OpenMzpVolumeFile(nullptr, 2), nullptr);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNotSupported);
}

}  // namespace
