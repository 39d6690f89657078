#include "window/dialogs/split_archive_dialog.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "window/dialogs/volume_group.h"
#include "window/models/volume_size.h"

namespace dialogs::ui {

CSplitArchiveDlg::CSplitArchiveDlg(image::ImageContext& ctx, QWidget* parent)
    : CAppDialog(kTemplateId, parent), ctx_(ctx) {
    setWindowTitle(QStringLiteral("Split Archive"));
    auto* layout = new QVBoxLayout(this);
    volumes_ = new CVolumeGroup(this);
    volumes_->Load(ctx.splitOutput, ctx.volumeSize, ctx.pauseAfterVolume);
    layout->addWidget(volumes_);
    layout->addWidget(MakeOkCancelButtons());
}

void CSplitArchiveDlg::accept() {
    if (volumes_->Split()) {
        int64_t size = 0;
        if (!volumes_->ReadSize(size)) return;
        ctx_.splitOutput = true;
        ctx_.pauseAfterVolume = volumes_->Pause() || size == kAutodetectVolumeSize;
        ctx_.volumeSize = size;
    }
    CAppDialog::accept();
}

bool RunSplitArchiveDialog(QWidget* parent) {
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx) return false;
    CSplitArchiveDlg dlg(*ctx, parent);
    dlg.exec();
    return true;
}

}  // namespace dialogs::ui
