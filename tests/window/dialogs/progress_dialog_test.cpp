#include "window/dialogs/progress_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

#include "window/dialogs/progress_prompts.h"
#include "foundation/messages.h"
#include "foundation/messages_scripted.h"
#include "foundation/operation_status.h"
#include "foundation/prompts.h"
#include "foundation/scripted_prompts.h"
#include "image/document/pause_cancel.h"
#include "tests/support/window/qt_application.h"

namespace {

using dialogs::ui::CProgressDlg;
using foundation::ProgressCallbacks;

// Shows the dialog (which starts the worker) and waits until it ended.
bool RunToEnd(CProgressDlg& dlg, int timeoutMs = 10000) {
    QSignalSpy ended(&dlg, &QDialog::finished);
    if (!dlg.isVisible()) dlg.show();
    return ended.count() > 0 || ended.wait(timeoutMs);
}

QString Text(CProgressDlg& dlg, int id) {
    if (auto* label = dlg.ControlAs<QLabel>(id)) return label->text();
    if (auto* button = dlg.ControlAs<QPushButton>(id)) return button->text();
    return {};
}

class ProgressDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::EnsureApplication();
        foundation::ResetOperationStatus();
    }
};

TEST_F(ProgressDialogTest, FinishedWorkerEndsTheDialogAfterItReturned) {
    struct Case {
        const char* what;
        bool callFinish;
        bool finishTwice;
    } cases[] = {{"finish once", true, false}, {"finish twice", true, true}, {"no finish", false, false}};
    for (const Case& c : cases) {
        CProgressDlg dlg;
        dlg.SetKind(dialogs::ui::ProgressKind::Compress);
        dlg.SetItemPath(QStringLiteral("/tmp/disc.iso"));
        dlg.SetTitle(QStringLiteral("Compressing"));
        std::atomic<int> stage{0};
        dlg.SetWorker([&](ProgressCallbacks* progress) -> int32_t {
            progress->SetTotal(1000);
            progress->SetCurrentItem(u"/tmp/disc.iso");
            progress->AddDone(1000);
            if (c.callFinish) progress->Finish();
            if (c.finishTwice) progress->Finish();
            // Work after Finish still counts: the caller must see this result.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            stage = 2;
            return 42;
        });
        ASSERT_TRUE(RunToEnd(dlg)) << c.what;
        EXPECT_EQ(dlg.result(), QDialog::Accepted) << c.what;
        EXPECT_TRUE(dlg.WorkerReturned()) << c.what;
        EXPECT_EQ(stage.load(), 2) << c.what;
        EXPECT_EQ(dlg.WorkerResult(), 42) << c.what;
        EXPECT_EQ(dlg.Callbacks().finished.load(), 1) << c.what;
        EXPECT_EQ(Text(dlg, 1423), QStringLiteral("100%")) << c.what;
        EXPECT_EQ(Text(dlg, 1429), QStringLiteral("disc.iso")) << c.what;
        EXPECT_EQ(dlg.ControlAs<QProgressBar>(1043)->value(), dlg.ControlAs<QProgressBar>(1043)->maximum());
        EXPECT_EQ(CProgressDlg::Current(), nullptr);
    }
}

TEST_F(ProgressDialogTest, LogLinesKeepTheDialogOpenWithClose) {
    // A line logged just before the end must still keep the dialog open.
    for (int round = 0; round < 100; ++round) {
        CProgressDlg dlg;
        dlg.SetWorker([round](ProgressCallbacks* progress) -> int32_t {
            dialogs::ui::AddProgressLogLine(u"first 100% \"done\"");
            if (round == 0) dialogs::ui::AddProgressLogLine(u"second\r\nline");
            progress->Finish();
            return 1;
        });
        QSignalSpy ended(&dlg, &QDialog::finished);
        dlg.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.Closing(); }, 10000)) << round;
        EXPECT_EQ(ended.count(), 0);
        if (round == 0) {
            EXPECT_EQ(dlg.LogLineCount(), 2);
            EXPECT_EQ(dlg.LogText(), QStringLiteral("first 100% \"done\"\r\nsecond\r\nline\r\n"));
            dlg.CopyLogToClipboard();
            EXPECT_EQ(QApplication::clipboard()->text(), dlg.LogText());
            EXPECT_EQ(Text(dlg, 2), QStringLiteral("Close"));
            EXPECT_FALSE(dlg.ControlAs<QPushButton>(1146)->isEnabled());
            EXPECT_FALSE(dlg.ControlAs<QPushButton>(1421)->isEnabled());
            dlg.accept();   // Enter does nothing
            EXPECT_EQ(ended.count(), 0);
        }
        dlg.reject();       // Close
        EXPECT_EQ(ended.count(), 1);
    }
}

TEST_F(ProgressDialogTest, CancelAndPauseReachTheWorker) {
    struct Case {
        const char* what;
        bool pauseFirst;
        int cancels;
    } cases[] = {{"cancel", false, 1}, {"cancel twice", false, 2}, {"pause then cancel", true, 1}};
    for (const Case& c : cases) {
        foundation::ResetOperationStatus();
        CProgressDlg dlg;
        std::latch started(1);
        std::atomic<bool> release{false};
        std::atomic<int> steps{0};
        dlg.SetWorker([&](ProgressCallbacks* progress) -> int32_t {
            progress->SetTotal(1 << 20);
            started.count_down();
            while (!release.load()) std::this_thread::yield();
            for (;;) {
                if (image::WaitIfPaused(progress) == 0) break;
                progress->AddDone(1);
                ++steps;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            progress->Finish();
            return 0;
        });
        QSignalSpy ended(&dlg, &QDialog::finished);
        dlg.show();
        started.wait();
        if (c.pauseFirst) {
            dlg.TogglePause();
            EXPECT_EQ(Text(dlg, 1421), QStringLiteral("Continue"));
            EXPECT_TRUE(dlg.TrayMenuTexts().contains(QStringLiteral("Continue")));
        }
        for (int i = 0; i < c.cancels; ++i) dlg.reject();
        EXPECT_EQ(ended.count(), 0) << c.what;   // only the worker ends the operation
        release = true;
        ASSERT_TRUE(ended.count() > 0 || ended.wait(10000)) << c.what;
        EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusCancelled) << c.what;
        if (c.pauseFirst) {
            EXPECT_EQ(steps.load(), 0) << c.what;
        }
    }
}

// Records on which thread each question was shown, and answers from a script.
class ThreadRecordingPrompts final : public foundation::IPromptServices {
public:
    void Show(foundation::UserPromptRequest& request) override {
        threads.push_back(QThread::currentThread());
        scripted.Show(request);
    }
    foundation::ScriptedPrompts scripted;
    std::vector<QThread*> threads;
};

TEST_F(ProgressDialogTest, WorkerQuestionsAreAskedOnTheWindowThread) {
    foundation::ScriptedUiServices inner;
    dialogs::ui::ProgressUiServices faces(inner);
    foundation::ScopedServices<foundation::SetUiServices> uiScope(&faces);
    ThreadRecordingPrompts prompts;
    foundation::ScopedServices<foundation::SetPromptServices> promptScope(&prompts);
    prompts.scripted.PushAnswer(foundation::overwrite_answer::kYesToAll);
    inner.QueueBoxAnswer(foundation::kIdYes);

    CProgressDlg dlg;
    std::atomic<int32_t> answer{-1};
    std::atomic<int> box{0};
    std::atomic<bool> sawDialogOpen{false};
    dlg.SetWorker([&](ProgressCallbacks* progress) -> int32_t {
        sawDialogOpen = foundation::CurrentUiServices().ProgressDialogOpen();
        static const char16_t name[] = u"a.txt";
        int32_t a = -1;
        foundation::RunUserPrompt(foundation::prompt_kind::kFileExists, 0, u"exists", reinterpret_cast<intptr_t>(name),
                                  nullptr, &a, nullptr);
        answer = a;
        box = foundation::AppMessageBox(u"Go on?", foundation::kMbYesNo);
        progress->Finish();
        return 0;
    });
    ASSERT_TRUE(RunToEnd(dlg));
    EXPECT_TRUE(sawDialogOpen.load());
    EXPECT_FALSE(foundation::CurrentUiServices().ProgressDialogOpen());   // on the window thread
    EXPECT_EQ(answer.load(), foundation::overwrite_answer::kYesToAll);
    EXPECT_EQ(box.load(), foundation::kIdYes);
    ASSERT_EQ(prompts.threads.size(), 1u);
    EXPECT_EQ(prompts.threads[0], QCoreApplication::instance()->thread());
    ASSERT_EQ(inner.Boxes().size(), 1u);
}

TEST_F(ProgressDialogTest, ClosingAnswersPendingQuestionsWithCancel) {
    foundation::ScriptedUiServices inner;
    dialogs::ui::ProgressUiServices faces(inner);
    foundation::ScopedServices<foundation::SetUiServices> uiScope(&faces);
    std::atomic<int32_t> answer{-1};
    {
        auto dlg = std::make_unique<CProgressDlg>();
        std::latch asking(1);
        dlg->SetWorker([&](ProgressCallbacks*) -> int32_t {
            static const char16_t name[] = u"a.txt";
            int32_t a = -1;
            asking.count_down();
            foundation::RunUserPrompt(foundation::prompt_kind::kFileExists, 0, u"exists",
                                      reinterpret_cast<intptr_t>(name), nullptr, &a, nullptr);
            answer = a;
            return 0;
        });
        dlg->show();
        asking.wait();
        // Give the question time to be queued; the window never gets to run it.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        dlg.reset();   // torn down with the question unanswered
    }
    EXPECT_EQ(answer.load(), foundation::overwrite_answer::kCancel);
}

TEST_F(ProgressDialogTest, AThreadThatCannotStartEndsAtOnce) {
    CProgressDlg dlg;
    std::atomic<bool> ran{false};
    dlg.SetWorker([&](ProgressCallbacks*) -> int32_t {
        ran = true;
        return 0;
    });
    CProgressDlg::FailNextThreadStartForTests();
    EXPECT_EQ(dlg.Run(), QDialog::Rejected);
    EXPECT_FALSE(ran.load());
    EXPECT_EQ(foundation::OperationStatus.load(), foundation::kStatusFailed);
    EXPECT_EQ(dlg.WorkerResult(), -1);
}

TEST_F(ProgressDialogTest, TrayTipsTakeNamesAsText) {
    struct Case {
        QString path;
        QString tipStart;
    } cases[] = {
        {QStringLiteral("/x/a%sb%d.iso"), QStringLiteral("Extracting archive 'a%sb%d.iso'")},
        {QStringLiteral("/x/cr\r\nlf.iso"), QStringLiteral("Extracting archive 'cr\r\nlf.iso'")},
        {QStringLiteral("/x/") + QString(10000, QLatin1Char('n')), QStringLiteral("Extracting archive 'nnn")},
    };
    for (const Case& c : cases) {
        CProgressDlg dlg;
        dlg.SetKind(dialogs::ui::ProgressKind::Extract);
        dlg.SetItemPath(c.path);
        dlg.SetTargetFolder(QStringLiteral("/tmp/out"));
        dlg.SetWorker([](ProgressCallbacks*) -> int32_t { return 1; });
        ASSERT_TRUE(RunToEnd(dlg));
        EXPECT_TRUE(dlg.TrayTip().startsWith(c.tipStart)) << dlg.TrayTip().toStdString();
        EXPECT_LE(dlg.TrayTip().size(), 127);
        EXPECT_EQ(Text(dlg, 1426), QStringLiteral("Extracting archive to:"));
        EXPECT_EQ(Text(dlg, 1427), QStringLiteral("/tmp/out"));
    }
}

TEST_F(ProgressDialogTest, AnimationStandsStillWhileHeld) {
    CProgressDlg dlg;
    std::latch done(1);
    dlg.SetWorker([&](ProgressCallbacks*) -> int32_t {
        done.wait();
        return 0;
    });
    dlg.show();
    // Offscreen there is no notification area: Background must not hide the
    // dialog for good.
    dlg.GoToBackground();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.InBackground());
    foundation::MessageBoxOpen = true;
    dlg.TimerTick();
    dlg.TimerTick();
    EXPECT_EQ(dlg.Animation().Frame(), 0);
    foundation::MessageBoxOpen = false;
    dlg.TimerTick();
    dlg.TimerTick();
    EXPECT_EQ(dlg.Animation().Frame(), 2);
    done.count_down();
    ASSERT_TRUE(RunToEnd(dlg));
}

}  // namespace

namespace {

// Saves a picture of the widget when QV_SCREENSHOT_DIR names a folder (a look
// under Xvfb); the pixel checks run either way.
void MaybeSave(QWidget& widget, const char* name) {
    if (const char* dir = std::getenv("QV_SCREENSHOT_DIR"))
        widget.grab().save(QString::fromUtf8(dir) + QLatin1Char('/') + QString::fromUtf8(name));
}

TEST_F(ProgressDialogTest, LooksRightMidWay) {
    CProgressDlg dlg;
    dlg.SetKind(dialogs::ui::ProgressKind::Extract);
    dlg.SetItemPath(QStringLiteral("/home/user/images/holiday-2026.iso"));
    dlg.SetTargetFolder(QStringLiteral("/home/user/Extracted/holiday-2026"));
    std::latch shot(1);
    std::atomic<bool> reported{false};
    dlg.SetWorker([&](ProgressCallbacks* progress) -> int32_t {
        progress->SetTotal(int64_t(1) << 30);
        progress->SetCurrentItem(u"VIDEO_TS/VTS_01_1.VOB");
        for (int i = 0; i < 24; ++i) {
            progress->AddDone(int64_t(12) << 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
        dialogs::ui::AddProgressLogLine(u"AUDIO_TS/broken.aob: a read error; the file was skipped.");
        reported = true;
        shot.wait();
        progress->Finish();
        return 1;
    });
    QSignalSpy ended(&dlg, &QDialog::finished);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reported.load() && dlg.LogLineCount() == 1; }, 20000));
    for (int i = 0; i < 5; ++i) dlg.TimerTick();
    QTest::qWait(50);
    EXPECT_FALSE(Text(dlg, 1008).isEmpty());    // time left
    EXPECT_EQ(Text(dlg, 1429), QStringLiteral("VIDEO_TS/VTS_01_1.VOB"));
    const QImage picture = dlg.grab().toImage();
    MaybeSave(dlg, "progress_dialog.png");
    // The shared look: the gradient's first and last rows at the dialog's edge.
    EXPECT_EQ(QColor(picture.pixel(2, 0)), QColor(252, 252, 254));
    EXPECT_EQ(QColor(picture.pixel(2, picture.height() - 1)), QColor(240, 240, 240));
    shot.count_down();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.Closing(); }, 10000));
    dlg.reject();
    EXPECT_EQ(ended.count(), 1);
}

}  // namespace
