// A save of the window program: the writer runs on the progress dialog's
// worker, and the image it writes reads back with 7z as the source did.

#include "window/dialogs/save_progress.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "app/open_document.h"
#include "app/save_engine.h"
#include "window/dialogs/progress_routes.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "foundation/scripted_prompts.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"

namespace {

using qvtest::RunOk;
using qvtest::ShellQuote;

std::atomic<QThread*> g_writerThread{nullptr};
app::DocumentWriter g_isoWriter = nullptr;

int RecordingWriter(app::SaveRequest& request) {
    g_writerThread = QThread::currentThread();
    return g_isoWriter(request);
}

TEST(SaveProgress, WriterRunsUnderTheDialogAndTheImageReadsBack) {
    qvtest::EnsureApplication();
    qvtest::TempDir config;
    ::setenv("QV_CONFIG_DIR", config.path().c_str(), 1);
    foundation::ScriptedUiServices inner;
    foundation::ScopedServices<foundation::SetUiServices> uiScope(&inner);
    foundation::ScriptedPrompts prompts;
    foundation::ScopedServices<foundation::SetPromptServices> promptScope(&prompts);

    qvtest::TempDir dir;
    RunOk("cd " + ShellQuote(dir.path()) +
          " && mkdir -p src/sub && head -c 500000 /dev/urandom > src/sub/big.bin && echo hi > src/a.txt"
          " && SOURCE_DATE_EPOCH=1700000000 xorriso -as mkisofs -quiet -J -R -V T -o t.iso src");
    image::DocumentPtr doc(app::OpenImageByPath(platform::Utf8ToUtf16(dir / "t.iso"), false, true, false));
    ASSERT_TRUE(doc);
    doc->modified = 2;

    g_isoWriter = app::GetDocumentWriter(0);
    ASSERT_NE(g_isoWriter, nullptr);
    app::SetDocumentWriter(0, &RecordingWriter);
    // As the window program starts: its face wrapped, saves under the dialog.
    dialogs::ui::InstallProgressRoutes(inner);
    EXPECT_NE(foundation::InstalledUiServices(), &inner);
    const int result = app::SaveDocument(*doc, platform::Utf8ToUtf16(dir / "out.iso"), -1, nullptr);
    dialogs::ui::RemoveProgressRoutes();
    EXPECT_EQ(foundation::InstalledUiServices(), &inner);
    app::SetDocumentWriter(0, g_isoWriter);

    ASSERT_EQ(result, 0);
    EXPECT_EQ(app::SaveResult(), 0);
    ASSERT_NE(g_writerThread.load(), nullptr);
    EXPECT_NE(g_writerThread.load(), QCoreApplication::instance()->thread());
    EXPECT_EQ(doc->documentPath, platform::Utf8ToUtf16(dir / "out.iso"));
    RunOk("7z x -y -o" + ShellQuote(dir / "ref") + " " + ShellQuote(dir / "t.iso") + " >/dev/null");
    RunOk("7z x -y -o" + ShellQuote(dir / "ours") + " " + ShellQuote(dir / "out.iso") + " >/dev/null");
    EXPECT_EQ(RunOk("diff -r " + ShellQuote(dir / "ours") + " " + ShellQuote(dir / "ref")), "");
    ::unsetenv("QV_CONFIG_DIR");
}

}  // namespace
