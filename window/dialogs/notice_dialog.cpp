#include "window/dialogs/notice_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QThread>
#include <QVBoxLayout>

#include "app/name_change_notice.h"
#include "foundation/language.h"
#include "platform/text.h"
#include "window/faces/qt_text.h"

namespace dialogs::ui {

namespace {

constexpr uint32_t kStrFolderHeading = 1030, kStrFileHeading = 1040;

QLineEdit* NameField(const QString& text, int id) {
    auto* field = new QLineEdit(text);
    field->setReadOnly(true);
    CAppDialog::SetControlId(field, id);
    return field;
}

}  // namespace

CNoticeDlg::CNoticeDlg(const QString& oldName, const QString& newName, bool isFolder, QWidget* parent)
    : CAppDialog(kTemplateId, parent) {
    setWindowTitle(QStringLiteral("Quendravine"));
    auto* heading = new QLabel(foundation::ui::ToQString(
        isFolder ? foundation::GetLangString(kStrFolderHeading, u"The folder name will be changed to:")
                 : foundation::GetLangString(kStrFileHeading, u"The file name will be changed to:")));
    heading->setTextFormat(Qt::PlainText);
    SetControlId(heading, kHeading);
    doNotShow_ = new QCheckBox(QStringLiteral("Do not display this message again"));
    SetControlId(doNotShow_, kDoNotShow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &CNoticeDlg::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NameField(oldName, kOldName));
    layout->addWidget(heading);
    layout->addWidget(NameField(newName, kNewName));
    layout->addWidget(doNotShow_);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

bool CNoticeDlg::DoNotShowAgain() const { return doNotShow_->isChecked(); }

void ShowNameChangeNotice(QWidget* owner, std::u16string_view oldName, std::u16string_view newName, bool isFolder) {
    if (app::g_SuppressNameNotice || oldName.empty() || newName.empty() || platform::EqualsNoCase(oldName, newName))
        return;
    const QString before = foundation::ui::ToQString(oldName);
    const QString after = foundation::ui::ToQString(newName);
    QPointer<QWidget> parent(owner);
    auto show = [parent, before, after, isFolder] {
        CNoticeDlg dialog(before, after, isFolder, parent);
        dialog.exec();
        app::g_SuppressNameNotice = dialog.DoNotShowAgain();
    };
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() == application->thread()) {
        show();
        return;
    }
    // A save's worker: the window thread shows it while the worker waits.
    QMetaObject::invokeMethod(application, show, Qt::BlockingQueuedConnection);
}

}  // namespace dialogs::ui
