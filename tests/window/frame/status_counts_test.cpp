// The status bar's counts per document kind: an audio CD counts its tracks
// in raw 2352-byte sectors in both panes (checked against soxi's sample
// count), and sizes that a reader could not know or capped at the limit
// neither wrap the sums nor count as bytes.

#include "window/frame/main_status_bar.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/document_lifecycle.h"
#include "foundation/messages_scripted.h"
#include "foundation/sizes.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/faces/qt_text.h"
#include "window/frame/main_frame.h"
#include "window/panes/pane_layout.h"

using namespace app;
using namespace app::ui;

namespace {

class StatusCounts : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        frame = std::make_unique<CMainFrame>(0, nullptr);
        ASSERT_TRUE(frame->Create());
        frame->resize(1000, 700);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        status = frame->StatusBar();
        panes = frame->findChild<FramePanes*>();
    }
    void TearDown() override {
        CloseDocument();
        frame.reset();
        unsetenv("QV_CONFIG_DIR");
    }
    static QString SizeParts(uint64_t bytes) {
        return foundation::ui::ToQString(foundation::FormatSizeKbMb(bytes) + u"(" + foundation::FormatThousands(bytes) +
                                         u" bytes)");
    }
    qvtest::TempDir config, runtime, dir;
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> uiInstalled{&ui};
    std::unique_ptr<CMainFrame> frame;
    CMainStatusBar* status = nullptr;
    FramePanes* panes = nullptr;
};

TEST_F(StatusCounts, AudioTracksCountAsRawSectorsInBothPanes) {
    if (qvtest::Run("command -v sox && command -v soxi").exitCode != 0) GTEST_SKIP() << "sox is not installed";
    constexpr int kFirst = 4574, kGap = 150, kSecond = 75;   // frames of 588 samples
    const std::string bin = dir / "disc.bin";
    ASSERT_EQ(qvtest::Run("sox -r 44100 -c 2 -n -b 16 -e signed-integer -t wav " + qvtest::ShellQuote(dir / "disc.wav") +
                          " synth " + std::to_string((kFirst + kGap + kSecond) * 588) + "s sine 440 vol 0.5 && "
                          "sox " + qvtest::ShellQuote(dir / "disc.wav") + " -t raw " + qvtest::ShellQuote(bin))
                  .exitCode,
              0);
    qvtest::WriteFileText(dir / "disc.cue", "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                            "  TRACK 02 AUDIO\n    INDEX 00 01:00:74\n    INDEX 01 01:02:74\n");
    const qvtest::CommandResult samples = qvtest::Run("soxi -s " + qvtest::ShellQuote(dir / "disc.wav"));
    ASSERT_EQ(samples.exitCode, 0);
    // Every frame but the second track's pause is track data.
    const uint64_t trackBytes = (std::stoull(samples.output) / 588 - kGap) * 2352;
    ASSERT_TRUE(OpenFileCommand(platform::Utf8ToUtf16(dir / "disc.cue")));
    ASSERT_EQ(CurrentDocumentKind(), DocumentKind::AudioCd);
    ASSERT_TRUE(frame->ExecuteCommand(33221));   // every track selected
    status->UpdateCounts();
    EXPECT_EQ(status->TotalsText(), QStringLiteral("Total 2 objects, ") + SizeParts(trackBytes));
    EXPECT_EQ(status->SelectionText(), QStringLiteral("Selected 2 objects, ") + SizeParts(trackBytes));
}

TEST_F(StatusCounts, UnknownAndCappedSizesNeitherWrapNorCount) {
    if (qvtest::Run("command -v xorriso").exitCode != 0) GTEST_SKIP() << "xorriso is not installed";
    const std::string src = dir / "src";
    mkdir(src.c_str(), 0700);
    for (const char* name : {"/a", "/b", "/c", "/d"}) qvtest::WriteFileText(src + name, "12");
    ASSERT_EQ(qvtest::Run("xorriso -as mkisofs -quiet -R -o " + qvtest::ShellQuote(dir / "s.iso") + " " +
                          qvtest::ShellQuote(src))
                  .exitCode,
              0);
    ASSERT_TRUE(OpenFileCommand(platform::Utf8ToUtf16(dir / "s.iso")));
    image::ImageFolder* root = image::g_CurrentDocument->rootFolder;
    std::vector<image::ImageItem*> files;
    for (image::ImageItem* item = root->firstItem; item; item = item->next)
        if (!image::IsFolderItem(item)) files.push_back(item);
    ASSERT_EQ(files.size(), 4u);
    struct Row {
        const char* what;
        int64_t sizes[4];
        uint64_t bytes;
    };
    constexpr uint64_t kMost = static_cast<uint64_t>(INT64_MAX);
    const Row rows[] = {
        {"plain", {2, 2, 2, 2}, 8},
        {"an unknown size counts for nothing", {-1, 2, 2, 2}, 6},
        {"two sizes at the limit stop there", {INT64_MAX, INT64_MAX, 2, -1}, kMost},
        {"one at the limit and more", {INT64_MAX, 2, 2, 2}, kMost},
        {"all unknown", {-1, -1, -1, -1}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (size_t i = 0; i < files.size(); ++i) files[i]->size = row.sizes[i];
        ASSERT_TRUE(frame->ExecuteCommand(32853));   // Select All
        status->UpdateCounts();
        EXPECT_EQ(status->TotalsText(), QStringLiteral("Total 4 objects, ") + SizeParts(row.bytes));
        EXPECT_EQ(status->SelectionText(), QStringLiteral("Selected 4 objects, ") + SizeParts(row.bytes));
    }
}

}  // namespace
