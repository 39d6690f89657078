// Hostile El Torito catalogues, patched by hand into an image xorriso made
// (no tool writes them): whatever the entries claim, the boot images of one
// document share one memory budget, entries that load the same sectors share
// one image, the open reads and holds no more than the image has, and the
// save keeps what was kept.

#include "image/iso/el_torito.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "foundation/file_io.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "image/build/image_save.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/iso/iso_reader.h"
#include "platform/text.h"
#include "tests/support/peak_memory.h"
#include "tests/support/test_support.h"

namespace {

using image::DocumentPtr;
using qvtest::RunOk;
using qvtest::ShellQuote;

constexpr uint64_t kImageBytes = 40ull << 20;

// The base: xorriso -as mkisofs -b hd.img -hard-disk-boot over a 64 KiB
// hard-disk image whose one partition takes sectors 1-127.
const char kMakeBase[] = R"(python3 - "$1" <<'EOF'
import struct, sys
v = bytearray(65536)
v[446:462] = bytes([0x80, 0, 2, 0, 0x83, 0, 0, 0]) + struct.pack('<II', 1, 127)
v[510:512] = b'\x55\xaa'
open(sys.argv[1] + '/src/hd.img', 'wb').write(v)
EOF
echo hello > "$1/src/readme.txt" && touch -d @1700000000 "$1/src"/*
xorriso -as mkisofs -b hd.img -hard-disk-boot -o "$1/base.iso" "$1/src" 2>/dev/null)";

// Patches the copy $1 by row $2: a final section header with 60 hard-disk
// entries after the default entry (63 of the 64 catalogue slots), partitions
// of 0xFFFFFFFF sectors of 512 bytes (2 TiB) in the master boot records they
// load, and the file made 40 MiB long, sparse.
const char kPatch[] = R"(python3 - "$1" "$2" <<'EOF'
import struct, sys
path, row = sys.argv[1], sys.argv[2]
with open(path, 'r+b') as f:
    f.seek(17 * 2048 + 71)
    cat = struct.unpack('<I', f.read(4))[0]
    f.seek(cat * 2048 + 32 + 8)
    rba = struct.unpack('<I', f.read(4))[0]
    f.seek(rba * 2048)
    mbr = bytearray(f.read(512))
    mbr[446 + 8:446 + 16] = struct.pack('<II', 1, 0xFFFFFFFF)
    if row == 'one_mbr':
        f.seek(rba * 2048)
        f.write(mbr)
        targets = [rba] * 60
    elif row == 'sixty_mbrs':
        targets = [1000 + 16 * i for i in range(60)]
        for t in targets:
            f.seek(t * 2048)
            f.write(mbr)
    else:
        targets = [0x7FFFFFF0] * 60
    f.seek(cat * 2048 + 64)
    f.write(bytes([0x91, 0]) + struct.pack('<H', len(targets)) + bytes(28))
    for t in targets:
        f.write(bytes([0x88, 4, 0, 0, 0x83, 0]) + struct.pack('<HI', 1, t) + bytes(20))
    f.truncate(40 << 20)
EOF)";

struct Row {
    const char* name;
    size_t sections;        // section entries kept with an image
    size_t sectionBuffers;  // distinct images they hold besides the default one
};

const Row kRows[] = {
    // All sixty and the default entry load one MBR whose partition runs 2 TiB
    // past it: one image of what the file holds, shared by all.
    {"one_mbr", 60, 0},
    // Sixty MBRs at sixty sectors, each claiming the rest of the image: the
    // first takes nearly the whole budget, the others are dropped.
    {"sixty_mbrs", 1, 1},
    // Sixty entries past the end of the image: dropped.
    {"past_end", 0, 0},
};

// Bytes the thread has read so far (rchar of its own io record).
uint64_t ReadBytes() {
    std::ifstream in("/proc/self/task/" + std::to_string(::gettid()) + "/io");
    std::string key;
    uint64_t value = 0;
    while (in >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}

uint64_t HeldBytes(const image::ElToritoState& state) {
    uint64_t held = state.bootImage.size();
    for (const image::ElToritoBootBuffer& buffer : state.sectionBuffers) held += buffer.bytes.size();
    return held;
}

class ElToritoBadInputTest : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override {
        setenv("QV_ANSI_CODEPAGE", "1252", 1);
        setenv("TZ", "UTC", 1);
        setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
        foundation::ResetOperationStatus();
        RunOk("mkdir -p " + ShellQuote(dir_ / "src"));
        RunOk(std::string("bash -c ") + ShellQuote(kMakeBase) + " base " + ShellQuote(dir_.path()));
    }
    DocumentPtr Open(const std::string& iso) {
        int code = -1;
        const std::u16string path = platform::Utf8ToUtf16(iso);
        DocumentPtr doc(image::OpenImageDocument(path, u"", foundation::OpenFileForRead(path), true, 2, &code));
        EXPECT_TRUE(doc) << code;
        return doc;
    }
    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> scoped_{&ui_};
};

TEST_P(ElToritoBadInputTest, OpensInBoundedMemoryAndReadsAndSavesWhatWasKept) {
    const Row& row = GetParam();
    const std::string iso = dir_ / "bad.iso";
    RunOk("cp " + ShellQuote(dir_ / "base.iso") + " " + ShellQuote(iso));
    RunOk(std::string("bash -c ") + ShellQuote(kPatch) + " patch " + ShellQuote(iso) + " " + row.name);

    qvtest::PeakMemory memory;
    const uint64_t readBefore = ReadBytes();
    DocumentPtr doc = Open(iso);
    const uint64_t read = ReadBytes() - readBefore;
    const uint64_t growth = memory.GrowthBytes();
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->elToritoPresent, 1);
    const image::ElToritoState& state = *doc->elTorito.get();
    EXPECT_EQ(state.sections.size(), row.sections);
    EXPECT_EQ(state.sectionBuffers.size(), row.sectionBuffers);
    EXPECT_TRUE(state.partlyKept);
    EXPECT_LE(HeldBytes(state), kImageBytes);
    EXPECT_LT(read, 2 * kImageBytes + (1u << 20));
    EXPECT_LT(growth, 2 * kImageBytes + (64u << 20));

    const std::string out = dir_ / "out.iso";
    ASSERT_EQ(image::SaveImageFile(*doc, platform::Utf8ToUtf16(out), image::format_code::kIso, nullptr), 1);
    ASSERT_FALSE(ui_.Boxes().empty());
    EXPECT_NE(platform::Utf16ToUtf8(ui_.Boxes().back().request.text).find("could not be read"), std::string::npos);
    // Each image is written once, however many entries load it.
    EXPECT_LE(std::filesystem::file_size(out), HeldBytes(state) + (1u << 20));
    const std::string info = RunOk("isoinfo -d -i " + ShellQuote(out));
    EXPECT_NE(info.find("Boot media 4 (Hard Disk Emulation)"), std::string::npos) << info;
    DocumentPtr saved = Open(out);
    ASSERT_TRUE(saved);
    ASSERT_NE(saved->elTorito.get(), nullptr);
    const image::ElToritoState& again = *saved->elTorito.get();
    EXPECT_EQ(again.sections.size(), row.sections);
    std::set<uint32_t> starts;
    for (const image::ElToritoSectionImage& s : again.sections) starts.insert(again.SectionStart(s));
    EXPECT_EQ(starts.size(), row.sections ? 1u : 0u);
    if (row.sectionBuffers == 0 && row.sections > 0) {
        EXPECT_EQ(*starts.begin(), uint32_t(again.startSector));
    }
    // Read back, an image reaching to the end takes in what the save put
    // behind it: the bytes that were kept come first.
    for (size_t i = 0; i < state.sections.size() && i < again.sections.size(); ++i) {
        const auto was = state.SectionBytes(state.sections[i]);
        const auto now = again.SectionBytes(again.sections[i]);
        const size_t n = std::min(was.size(), now.size());
        EXPECT_TRUE(std::equal(was.begin(), was.begin() + std::ptrdiff_t(n), now.begin()));
    }
}

// An MDS or NRG descriptor may claim an image far longer than its file. Sixty
// no-emulation entries of 0xFFFF sectors of 512 bytes (32 MiB each) load from
// past the file's end but within the claimed end: each is refused after one
// sector of it was asked for.
const char kPatchClaimedEnd[] = R"(python3 - "$1" <<'EOF'
import struct, sys
with open(sys.argv[1], 'r+b') as f:
    f.seek(17 * 2048 + 71)
    cat = struct.unpack('<I', f.read(4))[0]
    f.seek(cat * 2048 + 64)
    f.write(bytes([0x91, 0]) + struct.pack('<H', 60) + bytes(28))
    for i in range(60):
        f.write(bytes([0x88, 0, 0, 0, 0, 0]) + struct.pack('<HI', 0xFFFF, 0x100000 + 16 * i) + bytes(20))
EOF)";

TEST_F(ElToritoBadInputTest, EntriesPastTheFileCostNoMemoryWhateverTheClaimedEnd) {
    const std::string iso = dir_ / "claimed.iso";
    RunOk("cp " + ShellQuote(dir_ / "base.iso") + " " + ShellQuote(iso));
    RunOk(std::string("bash -c ") + ShellQuote(kPatchClaimedEnd) + " patch " + ShellQuote(iso));
    DocumentPtr doc = Open(iso);
    ASSERT_TRUE(doc);
    doc->endSector = 0x7FFFFFF0;

    qvtest::PeakMemory memory;
    image::LoadElTorito(*doc);
    const uint64_t growth = memory.GrowthBytes();
    ASSERT_EQ(doc->elToritoPresent, 1);
    const image::ElToritoState& state = *doc->elTorito.get();
    EXPECT_TRUE(state.sections.empty());
    EXPECT_TRUE(state.sectionBuffers.empty());
    EXPECT_TRUE(state.partlyKept);
    EXPECT_LT(growth, 64u << 20);
}

INSTANTIATE_TEST_SUITE_P(Rows, ElToritoBadInputTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
