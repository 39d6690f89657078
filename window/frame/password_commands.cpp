#include "window/frame/password_commands.h"

#include <QCursor>
#include <QMenu>
#include <QPointer>

#include <cstring>

#include "app/document_password.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "window/dialogs/password_dialog.h"
#include "window/frame/command_routes.h"
#include "window/frame/main_frame.h"
#include "window/frame/main_status_bar.h"

namespace app::ui {

namespace {

constexpr uint32_t kStrConfirmRemove = 950;

bool IsPasswordCommand(uint32_t id) { return id >= kCmdEncryptMenu && id <= kCmdClearPassword; }

bool HasPassword(const image::ImageContext* ctx) { return ctx && (ctx->passwordEnabled || ctx->passwordSet); }

void SetPassword(CMainFrame* frame) {
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx || ctx->readOnly) return;
    dialogs::ui::CPasswordDlg dialog(!HasPassword(ctx), frame);
    dialog.SetMaxLength(DocumentPasswordLimit(*ctx));
    if (dialog.exec() == QDialog::Accepted) {
        const auto& bytes = dialog.Password();
        SetDocumentPassword(*ctx, std::string_view(bytes.data(), strnlen(bytes.data(), bytes.size())));
    }
}

void ClearPassword() {
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx || !HasPassword(ctx) || ctx->readOnly) return;
    const int answer = foundation::AppMessageBox(
        foundation::GetLangString(kStrConfirmRemove, u"Do you want to remove the password?"),
        foundation::kMbYesNo | foundation::kMbIconQuestion | foundation::kMbDefButton2);
    if (answer == foundation::kIdYes) RemoveDocumentPassword(*ctx);
}

}  // namespace

void InstallPasswordCommands(CMainFrame* frame) {
    CommandHandler before;
    if (const CommandHandler* installed = HandlerOfGroup(CommandGroup::ItemView)) before = *installed;
    QPointer<CMainFrame> owner(frame);
    CommandHandler handler;
    handler.run = [owner, before](uint32_t id) {
        if (!IsPasswordCommand(id)) {
            if (before.run) before.run(id);
            return;
        }
        if (!owner) return;
        switch (id) {
        case kCmdEncryptMenu: {
            QMenu menu(owner);
            for (uint32_t item : {kCmdSetPassword, kCmdClearPassword})
                if (const QList<QAction*> found = owner->ActionsOf(item); !found.isEmpty())
                    menu.addAction(found.front());
            owner->UpdateCommandStates();
            menu.exec(QCursor::pos());
            break;
        }
        case kCmdSetPassword: SetPassword(owner); break;
        case kCmdClearPassword: ClearPassword(); break;
        default: break;
        }
        owner->UpdatePasswordItems();
        if (CMainStatusBar* bar = owner->StatusBar()) bar->StartTimer();
    };
    handler.enabled = [before](uint32_t id) {
        if (IsPasswordCommand(id)) {
            const image::ImageContext* ctx = image::g_CurrentDocument;
            if (!ctx || ctx->readOnly) return false;
            return id == kCmdClearPassword ? HasPassword(ctx) : true;
        }
        return before.run && (!before.enabled || before.enabled(id));
    };
    handler.checked = before.checked;
    InstallCommandHandler(CommandGroup::ItemView, std::move(handler));
    QObject::connect(frame, &QObject::destroyed, [] { InstallCommandHandler(CommandGroup::ItemView, {}); });
}

}  // namespace app::ui
