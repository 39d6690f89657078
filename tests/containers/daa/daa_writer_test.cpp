// DAA images written by the save engine from an xorriso ISO opened as a
// document, for every writer option: levels 0-2, a password, a comment, the table after the chunks (plain and
// compressed), LZMA chunks with their own headers, and the "DmFlags" masks,
// variant and deflate-only choices. Each reads back through our reader as the
// same document saved as ISO, byte for byte, and extracts the tree; where the
// layout allows, an independent reading (zlib for CRCs and deflate chunks, 7z's
// lzma86 reader for LZMA chunks) gives the same bytes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/save_engine.h"
#include "containers/daa/daa_container.h"
#include "foundation/services.h"
#include "foundation/settings.h"
#include "image/document/password_services.h"
#include "image/sectors/writer_switches.h"
#include "tests/containers/chunk_image_fixture.h"
#include "tests/support/fake_services.h"

namespace {

using chunktest::U;
using qvtest::RunOk;
using qvtest::ShellQuote;

class Password final : public image::IPasswordServices {
public:
    explicit Password(std::string text) : text_(std::move(text)) {}
    bool AskPassword(image::ImageContext* ctx, const uint8_t*) override {
        if (text_.empty()) return false;
        ctx->outputPassword.fill(0);
        text_.copy(ctx->outputPassword.data(), text_.size());
        return true;
    }

private:
    std::string text_;
};

struct Settings {
    qvtest::TempDir dir;
    Settings() { setenv("QV_CONFIG_DIR", dir.path().c_str(), 1); }
    ~Settings() { unsetenv("QV_CONFIG_DIR"); }
};

TEST(DaaWriter, EveryOptionReadsBackAsTheIso) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    Settings settings;
    chunktest::Readers readers;
    struct Row {
        const char* name;
        int32_t level;
        const char* password;   // written with
        const char* answer;     // read with
        const char* comment;
        bool e, c, h;
        uint32_t dmFlags;
        bool independent;       // the layout the independent reading knows
        uint32_t format;
    };
    const std::string fullPassword(64, 'p');
    const Row rows[] = {
        {"level 0", 0, "", "", "", false, false, true, 0, true, 0x100},
        {"level 1", 1, "", "", "", false, false, true, 0, true, 0x110},
        {"level 2", 2, "", "", "", false, false, true, 0, true, 0x110},
        {"a password", 1, "pass word", "pass word", "", false, false, true, 0, false, 0x110},
        {"a password as long as the reader takes", 0, fullPassword.c_str(), fullPassword.c_str(), "",
         false, false, true, 0, false, 0x100},
        {"a comment", 1, "", "", "saved by a test", false, false, true, 0, true, 0x110},
        {"the table after the chunks", 1, "", "", "", true, false, true, 0, true, 0x110},
        {"a compressed table after the chunks", 1, "", "", "", true, true, true, 0, false, 0x110},
        {"LZMA chunks with their own headers", 2, "", "", "", false, false, false, 0, true, 0x110},
        {"masked table, variant 2, additive mask", 1, "", "", "", false, false, true, (1u << 11) | (2u << 9) | (1u << 5),
         false, 0x110},
        {"deflate only", 1, "", "", "", false, false, true, 1u << 8, true, 0x110},
        {"deflate only at level 0: no effect", 0, "", "", "", false, false, true, 1u << 8, true, 0x100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        image::ResetWriterSwitches();
        image::WriterSwitchE = row.e;
        image::WriterSwitchC = row.c;
        image::WriterSwitchH = row.h;
        ASSERT_TRUE(foundation::WriteSettingDword(u"DmFlags", row.dmFlags));
        {
            image::DocumentPtr doc = chunktest::Open(dir / "t.iso");
            ASSERT_TRUE(doc);
            doc->modified = 2;
            doc->compressionLevel = row.level;
            doc->archiveComment = row.comment;
            if (*row.password) {
                doc->passwordEnabled = 1;
                std::string(row.password).copy(doc->writePassword.data(), std::string(row.password).size());
            }
            RunOk("rm -f " + ShellQuote(dir / "ref.iso") + " " + ShellQuote(dir / "out.daa"));
            ASSERT_EQ(app::SaveDocument(*doc, U(dir / "ref.iso"), -1, nullptr), 0);
            ASSERT_EQ(app::SaveDocument(*doc, U(dir / "out.daa"), -1, nullptr), 0);
        }
        image::ResetWriterSwitches();
        ASSERT_TRUE(foundation::WriteSettingDword(u"DmFlags", 0));

        Password answer(row.answer);
        foundation::ScopedServices<image::SetPasswordServices> dialogs{&answer};
        image::DocumentPtr back = chunktest::Open(dir / "out.daa");
        ASSERT_TRUE(back);
        EXPECT_EQ(back->formatCode, image::format_code::kDaa);
        ASSERT_TRUE(back->daaReader);
        EXPECT_EQ(back->daaReader->format, row.format);
        EXPECT_EQ(back->archiveComment, row.comment);
        chunktest::ExpectSectorsOf(*back, dir / "ref.iso");
        chunktest::ExpectExtractsTree(*back, dir);
        if (row.independent) {
            RunOk("cd " + ShellQuote(dir.path()) + " && python3 " + chunktest::FixtureScript() +
                  " daacheck out.daa check.iso && cmp check.iso ref.iso");
        }
    }
}

}  // namespace

// A password the reader could not take whole is refused, never cut: a cut
// one would lock the image with a password the user never typed.
TEST(DaaWriter, RefusesAPasswordLongerThanTheReaderTakes) {
    qvtest::TempDir dir;
    chunktest::MakeIso(dir);
    Settings settings;
    image::DocumentPtr doc = chunktest::Open(dir / "t.iso");
    ASSERT_TRUE(doc);
    doc->modified = 2;
    doc->passwordEnabled = 1;
    std::string(65, 'p').copy(doc->writePassword.data(), 65);
    EXPECT_NE(app::SaveDocument(*doc, U(dir / "out.daa"), -1, nullptr), 0);
    RunOk("test ! -e " + ShellQuote(dir / "out.daa"));
}
