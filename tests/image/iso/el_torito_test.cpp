// El Torito boot images: read from images xorriso and genisoimage made, and
// written into images those tools, isoinfo and 7z read back.

#include "image/iso/el_torito.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/build/add_disk_files.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/build/image_save.h"
#include "image/iso/iso_reader.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using image::DocumentPtr;
using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed;
    for (auto& b : v) {
        x = x * 1664525u + 1013904223u;
        b = uint8_t(x >> 24);
    }
    return v;
}

uint32_t Le32(const std::vector<uint8_t>& v, size_t at) {
    return uint32_t(v[at]) | uint32_t(v[at + 1]) << 8 | uint32_t(v[at + 2]) << 16 | uint32_t(v[at + 3]) << 24;
}

// A hard-disk image: a master boot record whose one partition runs from
// sector 1 to the end of the 1 MiB file. No partitioning tool is installed, so
// the four fields are put in by hand.
std::vector<uint8_t> HardDiskImage() {
    std::vector<uint8_t> v = Pattern(1 << 20, 7);
    std::fill(v.begin() + 446, v.begin() + 510, 0);
    const uint8_t entry[16] = {0x80, 0, 2, 0, 0x83, 0, 0, 0, 1, 0, 0, 0, 0xff, 0x07, 0, 0};
    std::copy(entry, entry + 16, v.begin() + 446);
    v[510] = 0x55;
    v[511] = 0xAA;
    return v;
}

struct Fixture {
    const char* name;
    const char* maker;     // command before the output and source arguments
    const char* bootFile;
    uint8_t media;
    const char* isoinfoMedia;
    const char* reportLine;   // what xorriso -report_el_torito plain says of entry 1
};

const Fixture kFixtures[] = {
    {"noemul", "xorriso -as mkisofs -b boot.img -no-emul-boot -boot-load-size 4 -boot-info-table", "boot.img", 0,
     "Boot media 0 (No Emulation Boot)", "El Torito boot img :   1  BIOS  y   none  0x0000  0x00      4"},
    {"noemul_genisoimage", "genisoimage -quiet -R -b boot.img -no-emul-boot -boot-load-size 4 -boot-info-table",
     "boot.img", 0, "Boot media 0 (No Emulation Boot)",
     "El Torito boot img :   1  BIOS  y   none  0x0000  0x00      4"},
    {"floppy", "xorriso -as mkisofs -b floppy.img", "floppy.img", 2, "Boot media 2 (1.44MB Floppy)",
     "El Torito boot img :   1  BIOS  y  fd1.4  0x0000  0x00      1"},
    {"harddisk", "xorriso -as mkisofs -b hd.img -hard-disk-boot", "hd.img", 4, "Boot media 4 (Hard Disk Emulation)",
     "El Torito boot img :   1  BIOS  y     hd  0x0000  0x83      1"},
    {"alternate", "xorriso -as mkisofs -b boot.img -no-emul-boot -boot-load-size 4 -eltorito-alt-boot -e efi.img "
                  "-no-emul-boot",
     "boot.img", 0, "Boot media 0 (No Emulation Boot)",
     "El Torito boot img :   1  BIOS  y   none  0x0000  0x00      4"},
};

class ElToritoTest : public ::testing::TestWithParam<Fixture> {
protected:
    void SetUp() override {
        setenv("QV_ANSI_CODEPAGE", "1252", 1);
        setenv("TZ", "UTC", 1);
        setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
        foundation::ResetOperationStatus();
        RunOk("mkdir -p " + ShellQuote(dir_ / "src"));
        auto boot = Pattern(10000, 1);   // not a multiple of 2048: the image keeps its own length
        qvtest::WriteFileBytes(dir_ / "src/boot.img", boot.data(), boot.size());
        auto floppy = Pattern(1474560, 2);
        qvtest::WriteFileBytes(dir_ / "src/floppy.img", floppy.data(), floppy.size());
        auto efi = Pattern(65536, 3);
        qvtest::WriteFileBytes(dir_ / "src/efi.img", efi.data(), efi.size());
        auto hd = HardDiskImage();
        qvtest::WriteFileBytes(dir_ / "src/hd.img", hd.data(), hd.size());
        qvtest::WriteFileText(dir_ / "src/readme.txt", "hello\n");
        RunOk("touch -d @1700000000 " + ShellQuote(dir_ / "src") + "/*");
    }
    std::string MakeIso(const Fixture& f) {
        std::string iso = dir_ / (std::string(f.name) + ".iso");
        RunOk(std::string(f.maker) + " -o " + ShellQuote(iso) + " " + ShellQuote(dir_ / "src") + " 2>&1");
        return iso;
    }
    // The file's bytes as stored in the image (the tools fill in the boot-info table).
    std::vector<uint8_t> StoredFile(const std::string& iso, const std::string& name) {
        std::string out = dir_ / ("stored-" + name);
        RunOk("xorriso -osirrox on -indev " + ShellQuote(iso) + " -extract /" + name + " " + ShellQuote(out) +
              " 2>&1");
        return qvtest::ReadFileBytes(out);
    }
    DocumentPtr Open(const std::string& iso) {
        int code = -1;
        DocumentPtr doc(image::OpenImageDocument(W(iso), u"", foundation::OpenFileForRead(W(iso)), true, 2, &code));
        EXPECT_TRUE(doc) << code;
        return doc;
    }
    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scoped_{&ui_};
};

TEST_P(ElToritoTest, LoadsTheBootImageWithTheFilesBytes) {
    const Fixture& f = GetParam();
    std::string iso = MakeIso(f);
    DocumentPtr doc = Open(iso);
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->elToritoPresent, 1);
    image::ElToritoState* state = doc->elTorito.get();
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->mediaType, f.media);
    std::vector<uint8_t> file = StoredFile(iso, f.bootFile);
    ASSERT_EQ(state->bootImageSize, int64_t(file.size()));
    EXPECT_EQ(state->bootImage.size() % 2048, 0u);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), state->bootImage.begin()));
    EXPECT_EQ(state->hardDiskImage, f.media == 4);
    if (std::string(f.name).rfind("noemul", 0) == 0) {
        EXPECT_EQ(state->patchInfoTable, 1);
    }
    if (std::string(f.name) == "alternate") {
        ASSERT_EQ(state->sections.size(), 1u);
        std::vector<uint8_t> efi = StoredFile(iso, "efi.img");
        EXPECT_TRUE(std::equal(efi.begin(), efi.end(), state->SectionBytes(state->sections[0]).begin()));
    }
}

TEST_P(ElToritoTest, SavedImageCarriesTheEntryAndTheImageIntact) {
    const Fixture& f = GetParam();
    std::string iso = MakeIso(f);
    DocumentPtr doc = Open(iso);
    ASSERT_TRUE(doc);
    // Move the image: new folders take directory sectors ahead of the boot
    // catalogue and shift the boot image, so its table must be rewritten.
    for (char16_t c = u'A'; c <= u'L'; ++c)
        ASSERT_NE(image::AddNewFolder(doc.get(), doc->rootFolder, std::u16string(u"NEW") + c), nullptr);
    std::string out = dir_ / "out.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);

    const std::string before = RunOk("isoinfo -d -i " + ShellQuote(iso));
    std::string info = RunOk("isoinfo -d -i " + ShellQuote(out));
    EXPECT_NE(info.find(f.isoinfoMedia), std::string::npos) << info;
    std::string report = RunOk("xorriso -indev " + ShellQuote(out) + " -report_el_torito plain 2>/dev/null");
    EXPECT_NE(report.find(f.reportLine), std::string::npos) << report;
    std::string listing = RunOk("7z l " + ShellQuote(out));
    EXPECT_NE(listing.find("[BOOT]"), std::string::npos) << listing;

    size_t at = info.find("Bootoff ");
    ASSERT_NE(at, std::string::npos) << info;
    const uint32_t bootSector = uint32_t(std::stoul(info.substr(at + 8), nullptr, 16));
    const size_t was = before.find("Bootoff ");
    ASSERT_NE(was, std::string::npos) << before;
    EXPECT_NE(uint32_t(std::stoul(before.substr(was + 8), nullptr, 16)), bootSector);
    std::vector<uint8_t> bytes = qvtest::ReadFileBytes(out);
    std::vector<uint8_t> file = qvtest::ReadFileBytes(dir_ / ("src/" + std::string(f.bootFile)));
    ASSERT_LE(size_t(bootSector) * 2048 + file.size(), bytes.size());
    std::vector<uint8_t> saved(bytes.begin() + std::ptrdiff_t(bootSector) * 2048,
                               bytes.begin() + std::ptrdiff_t(bootSector) * 2048 + std::ptrdiff_t(file.size()));
    if (std::string(f.maker).find("-boot-info-table") != std::string::npos) {
        // The boot-info table names the new places; the checksum covers byte 64 on.
        EXPECT_EQ(Le32(saved, 8), 16u);
        EXPECT_EQ(Le32(saved, 12), bootSector);
        EXPECT_EQ(Le32(saved, 16), uint32_t(file.size()));
        uint32_t sum = 0;
        std::vector<uint8_t> padded = saved;
        padded.resize((padded.size() + 3) & ~size_t(3), 0);
        for (size_t i = 64; i < padded.size(); i += 4) sum += Le32(padded, i);
        EXPECT_EQ(Le32(saved, 20), sum);
        EXPECT_TRUE(std::equal(file.begin() + 64, file.end(), saved.begin() + 64));
    } else {
        // The hard-disk image ends with its own bytes, not a marker of ours.
        EXPECT_EQ(saved, file);
    }
    if (std::string(f.name) == "alternate") {
        EXPECT_NE(report.find("El Torito boot img :   2  UEFI  y   none  0x0000  0x00    128"), std::string::npos)
            << report;
        RunOk("7z x -y -o" + ShellQuote(dir_ / "x") + " " + ShellQuote(out) + " '[BOOT]' >/dev/null");
        EXPECT_EQ(qvtest::ReadFileBytes(dir_ / "x/[BOOT]/2-Boot-NoEmul.img"), qvtest::ReadFileBytes(dir_ / "src/efi.img"));
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ElToritoTest, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.name); });

class ElToritoNewTest : public ElToritoTest {};

TEST_F(ElToritoNewTest, ANewBootImageGetsItsEntryBySize) {
    struct Row {
        size_t size;
        const char* media;
        const char* nsect;
    } rows[] = {
        {1474560, "Boot media 2 (1.44MB Floppy)", "Nsect 1"},
        {1228800, "Boot media 1 (1200 Floppy)", "Nsect 1"},
        {5000, "Boot media 0 (No Emulation Boot)", "Nsect A"},   // isoinfo gives the count in hex
    };
    for (const Row& row : rows) {
        DocumentPtr doc(image::NewIsoDocument());
        ASSERT_TRUE(doc);
        ASSERT_TRUE(image::SetNewBootImage(*doc, Pattern(row.size, 9)));
        std::string out = dir_ / "new.iso";
        ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);
        std::string info = RunOk("isoinfo -d -i " + ShellQuote(out));
        EXPECT_NE(info.find(row.media), std::string::npos) << info;
        EXPECT_NE(info.find(row.nsect), std::string::npos) << info;
        EXPECT_NE(RunOk("7z l " + ShellQuote(out)).find("[BOOT]"), std::string::npos);
    }
}

TEST_F(ElToritoNewTest, AHardDiskImageCutShortByTheImageEndIsSaidOnSave) {
    // The partition claims 64 MiB; the image ends long before.
    std::vector<uint8_t> hd = HardDiskImage();
    hd[446 + 12] = 0;
    hd[446 + 13] = 0;
    hd[446 + 14] = 2;   // 0x20000 sectors of 512 bytes
    qvtest::WriteFileBytes(dir_ / "src/hd.img", hd.data(), hd.size());
    std::string iso = MakeIso(kFixtures[3]);
    DocumentPtr doc = Open(iso);
    ASSERT_TRUE(doc);
    ASSERT_NE(doc->elTorito.get(), nullptr);
    EXPECT_TRUE(doc->elTorito->partlyKept);
    EXPECT_LT(doc->elTorito->bootImageSize, int64_t(64) << 20);
    ASSERT_EQ(image::SaveImageFile(*doc, W(dir_ / "out.iso"), image::format_code::kIso, nullptr), 1);
    auto boxes = ui_.Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(platform::Utf16ToUtf8(boxes.back().request.text).find("could not be read"), std::string::npos);
}

TEST_F(ElToritoNewTest, DamagedCataloguesLoadOrNotButNeverCrash) {
    for (const Fixture& f : {kFixtures[0], kFixtures[4]}) {
        std::string iso = MakeIso(f);
        const std::vector<uint8_t> good = qvtest::ReadFileBytes(iso);
        uint32_t x = 12345;
        for (int round = 0; round < 60; ++round) {
            std::vector<uint8_t> bad = good;
            // The boot record (17) and the catalogue (33) take the damage.
            for (int k = 0; k < 6; ++k) {
                x = x * 1664525u + 1013904223u;
                const size_t sector = (x >> 16) & 1 ? 17 : 33;
                x = x * 1664525u + 1013904223u;
                bad[sector * 2048 + (x >> 8) % 128] = uint8_t(x);
            }
            const std::string path = dir_ / "bad.iso";
            qvtest::WriteFileBytes(path, bad.data(), bad.size());
            DocumentPtr doc = Open(path);
            ASSERT_TRUE(doc);
            if (doc->elTorito) {
                EXPECT_EQ(doc->elTorito->bootImage.size() % 2048, 0u);
            }
        }
    }
}

TEST_F(ElToritoNewTest, TheSystemAreaOfAnOpenedBootableImageIsKept) {
    // A hybrid image carries its hard-disk boot code and partition table in
    // the system area; the save keeps them.
    auto area = Pattern(32768, 11);
    qvtest::WriteFileBytes(dir_ / "area.bin", area.data(), area.size());
    const std::string iso = dir_ / "hybrid.iso";
    RunOk("xorriso -as mkisofs -G " + ShellQuote(dir_ / "area.bin") +
          " -b boot.img -no-emul-boot -boot-load-size 4 -boot-info-table -o " + ShellQuote(iso) + " " +
          ShellQuote(dir_ / "src") + " 2>&1");
    DocumentPtr doc = Open(iso);
    ASSERT_TRUE(doc);
    const std::string out = dir_ / "out.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, W(out), image::format_code::kIso, nullptr), 1);
    std::vector<uint8_t> saved = qvtest::ReadFileBytes(out);
    ASSERT_GE(saved.size(), area.size());
    EXPECT_TRUE(std::equal(area.begin(), area.end(), saved.begin()));
}

TEST(ElToritoEntry, AHugeNoEmulationImageClampsItsSectorCount) {
    image::ImageContext ctx;
    auto* state = new image::ElToritoState;
    state->bootImage.assign(2048, 0);
    state->bootImageSize = 40ll << 20;   // 81920 sectors of 512 bytes: more than the field holds
    state->isNew = 1;
    ctx.elTorito.Attach(state, image::FreeElTorito);
    uint8_t entry[32] = {};
    image::BuildBootCatalogEntry(ctx, entry);
    EXPECT_EQ(entry[0], 0x88);
    EXPECT_EQ(entry[1], 0);
    EXPECT_EQ(entry[6] | entry[7] << 8, 0xFFFF);
}

TEST(ElToritoEntry, HardDiskSizeTakesTheFirstUsedPartitionWhole) {
    std::vector<uint8_t> mbr(512, 0);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    auto put = [&](int slot, uint8_t type, uint32_t start, uint32_t count) {
        size_t e = 446 + size_t(slot) * 16;
        mbr[e + 4] = type;
        for (int i = 0; i < 4; ++i) {
            mbr[e + 8 + i] = uint8_t(start >> (8 * i));
            mbr[e + 12 + i] = uint8_t(count >> (8 * i));
        }
    };
    put(1, 0x0C, 63, 200000);   // more sectors than 16 bits hold
    put(2, 0x83, 300000, 10);
    uint8_t type = 0;
    EXPECT_EQ(image::GetHardDiskBootSize(mbr, &type), int64_t(200063) * 512);
    EXPECT_EQ(type, 0x0C);
    mbr[511] = 0;
    EXPECT_EQ(image::GetHardDiskBootSize(mbr, &type), -1);
}

TEST(ElToritoEntry, BootInfoTableCheck) {
    std::vector<uint8_t> img = Pattern(4096, 5);
    image::ElToritoState state;
    state.bootImage = img;
    state.bootImageSize = 4000;
    state.patchInfoTable = 1;
    state.startSector = 77;
    image::PatchBootInfoTable(state);
    EXPECT_EQ(image::CheckBootInfoTable(state.bootImage, 77, 4000), 1);
    EXPECT_EQ(image::CheckBootInfoTable(state.bootImage, -1, 4000), 1);
    EXPECT_EQ(image::CheckBootInfoTable(state.bootImage, 78, 4000), 0);
    EXPECT_EQ(image::CheckBootInfoTable(state.bootImage, 77, 3996), 0);
    state.bootImage[100] ^= 1;
    EXPECT_EQ(image::CheckBootInfoTable(state.bootImage, 77, 4000), 0);
}

}  // namespace
