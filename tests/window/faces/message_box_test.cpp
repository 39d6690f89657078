#include "window/faces/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "foundation/user_prompt.h"
#include "tests/support/window/qt_application.h"

using namespace foundation;
using namespace foundation::ui;

namespace {

// Acts on the next modal box once it is up.
void WhenBoxShows(std::function<void(QMessageBox*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(box);
    });
    timer->start();
}

TEST(MessageBox, FlagsAndButtonsGiveWindowsResults) {
    qvtest::EnsureApplication();
    struct Row {
        uint32_t flags;
        QMessageBox::StandardButton click;   // NoButton: the box is closed
        int result;
    };
    const Row rows[] = {
        {kMbOk | kMbIconInformation, QMessageBox::Ok, kIdOk},
        {kMbOkCancel, QMessageBox::Cancel, kIdCancel},
        {kMbYesNo | kMbIconQuestion, QMessageBox::No, kIdNo},
        {kMbYesNoCancel, QMessageBox::Yes, kIdYes},
        {kMbAbortRetryIgnore | kMbIconStop, QMessageBox::Ignore, kIdIgnore},
        {kMbRetryCancel | kMbIconExclamation, QMessageBox::Retry, kIdRetry},
        // Closed or rejected: the refusing button of the set, never 0.
        {kMbYesNo, QMessageBox::NoButton, kIdNo},
        {kMbYesNoCancel, QMessageBox::NoButton, kIdCancel},
        {kMbAbortRetryIgnore, QMessageBox::NoButton, kIdAbort},
        {kMbOk, QMessageBox::NoButton, kIdOk},
    };
    for (const Row& row : rows) {
        WhenBoxShows([row](QMessageBox* box) {
            if (row.click == QMessageBox::NoButton) box->reject();
            else box->button(row.click)->click();
        });
        EXPECT_EQ(ShowMessageBoxOnWindowThread({u"text", u"", row.flags}), row.result) << row.flags;
    }
}

TEST(MessageBox, DefaultButtonIconAndPlainText) {
    qvtest::EnsureApplication();
    EXPECT_EQ(ButtonsForFlags(kMbYesNo | kMbDefButton2).defaultButton, QMessageBox::No);
    EXPECT_EQ(ButtonsForFlags(kMbAbortRetryIgnore | kMbDefButton3).defaultButton, QMessageBox::Ignore);
    EXPECT_EQ(ButtonsForFlags(kMbYesNo).defaultButton, QMessageBox::Yes);
    EXPECT_EQ(IconForFlags(kMbIconStop), QMessageBox::Critical);
    EXPECT_EQ(IconForFlags(kMbIconQuestion), QMessageBox::Question);
    EXPECT_EQ(IconForFlags(kMbIconExclamation), QMessageBox::Warning);
    EXPECT_EQ(IconForFlags(kMbIconInformation), QMessageBox::Information);

    // A name from an archive is data: shown as written, never as markup.
    auto box = MakeMessageBox({u"<b>x</b>\r\nnext", u"", kMbOk}, nullptr);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(), QStringLiteral("<b>x</b>\nnext"));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Quendravine"));
    auto other = MakeMessageBox({u"t", u"Quendravine Virtual Drive", kMbOk}, nullptr);
    EXPECT_EQ(other->windowTitle(), QStringLiteral("Quendravine Virtual Drive"));
}

TEST(MessageBox, AWorkerThreadsBoxRunsOnTheWindowThread) {
    QApplication& application = qvtest::EnsureApplication();
    std::atomic<int> result{0};
    std::atomic<bool> done{false};
    Qt::HANDLE boxThread = nullptr;
    WhenBoxShows([&](QMessageBox* box) {
        boxThread = QThread::currentThreadId();
        box->button(QMessageBox::Yes)->click();
    });
    std::thread worker([&] {
        result = ShowMessageBoxOnWindowThread({u"from a worker", u"", kMbYesNo});
        done = true;
    });
    while (!done) application.processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    EXPECT_EQ(result.load(), kIdYes);
    EXPECT_EQ(boxThread, QThread::currentThreadId());
}

TEST(MessageBox, PostedPromptsRunOnTheWindowThread) {
    QApplication& application = qvtest::EnsureApplication();
    QtUiServices services;
    auto request = std::make_shared<UserPromptRequest>();
    request->kind = prompt_kind::kFileExists;
    ASSERT_TRUE(services.PostUserPrompt(request));
    // With no prompt face installed, the prompt answers its cancel value.
    for (int i = 0; i < 20; ++i) application.processEvents();
    EXPECT_EQ(request->answer, overwrite_answer::kCancel);
}

}  // namespace
