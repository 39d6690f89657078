// The image tools' conversion: an ISO made by genisoimage compressed into
// XDI (with and without a password) and decompressed again, and written as
// BIN/CUE split back by bchunk, each output's tree as 7z extracts it;
// archive options that the output format cannot keep are dropped; and the
// refusals that must come before any work and leave the source untouched.

#include <gtest/gtest.h>

#include <string>

#include "app/convert_image.h"
#include "app/open_document.h"
#include "app/other_openers.h"
#include "foundation/messages_scripted.h"
#include "foundation/scripted_prompts.h"
#include "foundation/services.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/document/password_services.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::u16string U(const std::string& s) { return platform::Utf8ToUtf16(s); }

class GivenPassword final : public image::IPasswordServices {
public:
    bool AskPassword(image::ImageContext* ctx, const uint8_t*) override {
        ctx->outputPassword.fill(0);
        std::string("Secret").copy(ctx->outputPassword.data(), 6);
        return true;
    }
};

class ConvertImage : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QV_CONFIG_DIR", (dir_ / "config").c_str(), 1);
        app::InstallReaders();
        RunOk("mkdir -p " + ShellQuote(dir_ / "config") + " " + ShellQuote(dir_ / "src") + " && cd " +
              ShellQuote(dir_ / "src") + " && head -c 700000 /dev/urandom > r.bin && seq 1 20000 > t.txt");
        RunOk("genisoimage -quiet -o " + ShellQuote(dir_ / "s.iso") + " " + ShellQuote(dir_ / "src"));
    }
    void TearDown() override {
        app::UninstallReaders();
        unsetenv("QV_CONFIG_DIR");
    }
    // The ISO holds the source tree, as 7z extracts it.
    void ExpectTree(const std::string& iso) {
        const std::string x = dir_ / "x";
        RunOk("rm -rf " + ShellQuote(x) + " && 7z x -o" + ShellQuote(x) + " " + ShellQuote(iso) +
              " >/dev/null && cmp " + ShellQuote(x + "/R.BIN") + " " + ShellQuote(dir_ / "src/r.bin") + " && cmp " +
              ShellQuote(x + "/T.TXT") + " " + ShellQuote(dir_ / "src/t.txt"));
    }
    int Convert(const std::string& from, const std::string& to, int32_t format, const app::ConvertOptions& options) {
        image::DocumentPtr doc(app::OpenImageByPath(U(from), false, true, false));
        if (!doc) return -2;
        return app::ConvertImageFile(*doc, U(to), format, &options);
    }

    qvtest::TempDir dir_;
    foundation::ScriptedUiServices ui_;
    foundation::ScopedServices<foundation::SetUiServices> uiScope_{&ui_};
    foundation::ScriptedPrompts prompts_;
    foundation::ScopedServices<foundation::SetPromptServices> promptScope_{&prompts_};
};

TEST_F(ConvertImage, CompressDecompressAndBinRoundTrips) {
    namespace fc = image::format_code;
    GivenPassword password;
    foundation::ScopedServices<image::SetPasswordServices> passwordScope{&password};
    const std::string iso = dir_ / "s.iso";
    app::ConvertOptions none;
    app::ConvertOptions locked;
    locked.password = "Secret";
    ASSERT_EQ(Convert(iso, dir_ / "out/plain.xdi", fc::kXdi, none), 0);
    ASSERT_EQ(Convert(iso, dir_ / "out/locked.xdi", fc::kXdi, locked), 0);
    for (const char* xdi : {"plain", "locked"}) {
        SCOPED_TRACE(xdi);
        const std::string back = dir_ / (std::string("out/") + xdi + ".iso");
        ASSERT_EQ(Convert(dir_ / (std::string("out/") + xdi + ".xdi"), back, fc::kIso, none), 0);
        RunOk("isovfy " + ShellQuote(back) + " >/dev/null");
        ExpectTree(back);
    }
    // The locked image does not give its bytes away: they differ from the plain one's.
    EXPECT_NE(qvtest::Run("cmp -s " + ShellQuote(dir_ / "out/plain.xdi") + " " + ShellQuote(dir_ / "out/locked.xdi"))
                  .exitCode,
              0);
    ASSERT_EQ(Convert(iso, dir_ / "out/b.bin", fc::kBin, none), 0);
    RunOk("cd " + ShellQuote(dir_ / "out") + " && test -s b.cue && bchunk b.bin b.cue split >/dev/null");
    ExpectTree(dir_ / "out/split01.iso");
}

TEST_F(ConvertImage, OptionsTheFormatCannotKeepAreDropped) {
    app::ConvertOptions options;
    options.split = true;
    options.volumeSize = 256 * 1024;
    options.password = "Secret";
    ASSERT_EQ(Convert(dir_ / "s.iso", dir_ / "o.iso", image::format_code::kIso, options), 0);
    // One plain ISO, not a set of MZP volumes under an ".iso" name.
    RunOk("isovfy " + ShellQuote(dir_ / "o.iso") + " >/dev/null && isoinfo -f -i " + ShellQuote(dir_ / "o.iso") +
          " | grep -q R.BIN");
    RunOk("test -z \"$(ls " + ShellQuote(dir_.path()) + " | grep -i part)\"");
}

TEST_F(ConvertImage, RefusalsComeFirstAndTouchNothing) {
    RunOk("cp " + ShellQuote(dir_ / "s.iso") + " " + ShellQuote(dir_ / "keep.iso") + " && ln -s s.iso " +
          ShellQuote(dir_ / "link.xdi") + " && printf x > " + ShellQuote(dir_ / "file"));
    struct Row {
        const char* name;
        std::string destination;
        int32_t format;
    };
    const Row rows[] = {
        {"a folder that cannot be made", dir_ / "file/sub/o.xdi", image::format_code::kXdi},
        {"onto its own input through a link", dir_ / "link.xdi", image::format_code::kIso},
        {"onto its own input", dir_ / "s.iso", image::format_code::kIso},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Convert(dir_ / "s.iso", row.destination, row.format, app::ConvertOptions{}), -1);
        RunOk("cmp " + ShellQuote(dir_ / "s.iso") + " " + ShellQuote(dir_ / "keep.iso"));
        EXPECT_FALSE(ui_.Boxes().empty());
    }
    RunOk("test -z \"$(ls -A " + ShellQuote(dir_.path()) + " | grep -v -x -e s.iso -e keep.iso -e link.xdi -e file "
          "-e src -e config)\"");
}

}  // namespace
