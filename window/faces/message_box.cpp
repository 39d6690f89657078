#include "window/faces/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMetaObject>
#include <QThread>

#include "foundation/prompts.h"
#include "window/faces/qt_text.h"
#include "foundation/user_prompt.h"

namespace foundation::ui {

namespace {

struct ButtonRow {
    QMessageBox::StandardButton button;
    int result;
};

// The buttons of each Windows button set, left to right, with their results.
std::vector<ButtonRow> RowsForFlags(uint32_t flags) {
    switch (flags & kMbButtonMask) {
    case kMbOkCancel: return {{QMessageBox::Ok, kIdOk}, {QMessageBox::Cancel, kIdCancel}};
    case kMbAbortRetryIgnore:
        return {{QMessageBox::Abort, kIdAbort}, {QMessageBox::Retry, kIdRetry}, {QMessageBox::Ignore, kIdIgnore}};
    case kMbYesNoCancel:
        return {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}, {QMessageBox::Cancel, kIdCancel}};
    case kMbYesNo: return {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}};
    case kMbRetryCancel: return {{QMessageBox::Retry, kIdRetry}, {QMessageBox::Cancel, kIdCancel}};
    default: return {{QMessageBox::Ok, kIdOk}};
    }
}

}  // namespace

MessageBoxButtons ButtonsForFlags(uint32_t flags) {
    const std::vector<ButtonRow> rows = RowsForFlags(flags);
    MessageBoxButtons result{QMessageBox::NoButton, rows.front().button};
    for (const ButtonRow& row : rows) result.buttons |= row.button;
    size_t wanted = 0;
    if (flags & kMbDefButton2) wanted = 1;
    if (flags & kMbDefButton3) wanted = 2;
    if (wanted < rows.size()) result.defaultButton = rows[wanted].button;
    return result;
}

QMessageBox::Icon IconForFlags(uint32_t flags) {
    switch (flags & kMbIconMask) {
    case kMbIconStop: return QMessageBox::Critical;
    case kMbIconQuestion: return QMessageBox::Question;
    case kMbIconExclamation: return QMessageBox::Warning;
    case kMbIconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

int ResultForButton(uint32_t flags, int clicked) {
    for (const ButtonRow& row : RowsForFlags(flags))
        if (static_cast<int>(row.button) == clicked) return row.result;
    return RefusingAnswer(flags);
}

std::unique_ptr<QMessageBox> MakeMessageBox(const MessageBoxRequest& request, QWidget* owner) {
    auto box = std::make_unique<QMessageBox>(owner);
    QString text = ToQString(request.text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setWindowTitle(request.caption.empty() ? QStringLiteral("Quendravine") : ToQString(request.caption));
    box->setIcon(IconForFlags(request.flags));
    const MessageBoxButtons buttons = ButtonsForFlags(request.flags);
    box->setStandardButtons(buttons.buttons);
    box->setDefaultButton(buttons.defaultButton);
    // Escape and the close button answer the refusing button of the set.
    if (QAbstractButton* escape = box->button(static_cast<QMessageBox::StandardButton>(
            [&] {
                for (const ButtonRow& row : RowsForFlags(request.flags))
                    if (row.result == RefusingAnswer(request.flags)) return static_cast<int>(row.button);
                return static_cast<int>(QMessageBox::NoButton);
            }())))
        box->setEscapeButton(escape);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

namespace {

int ShowHere(const MessageBoxRequest& request) {
    std::unique_ptr<QMessageBox> box = MakeMessageBox(request, QApplication::activeWindow());
    box->exec();
    QAbstractButton* clicked = box->clickedButton();
    const int button = clicked ? static_cast<int>(box->standardButton(clicked)) : 0;
    return ResultForButton(request.flags, button);
}

}  // namespace

int ShowMessageBoxOnWindowThread(const MessageBoxRequest& request) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || !qobject_cast<QApplication*>(application)) return RefusingAnswer(request.flags);
    if (QThread::currentThread() == application->thread()) return ShowHere(request);
    int result = RefusingAnswer(request.flags);
    QMetaObject::invokeMethod(
        application, [&request, &result] { result = ShowHere(request); }, Qt::BlockingQueuedConnection);
    return result;
}

int QtUiServices::ShowMessageBox(const MessageBoxRequest& request) { return ShowMessageBoxOnWindowThread(request); }

bool QtUiServices::PostUserPrompt(std::shared_ptr<foundation::UserPromptRequest> request) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || !request) return false;
    return QMetaObject::invokeMethod(
        application, [request] { DispatchUserPrompt(*request); }, Qt::QueuedConnection);
}

}  // namespace foundation::ui
