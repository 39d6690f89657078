// "Split Archive" writes the volume choices straight into the document:
// "Autodetect" asks for the pause and stores the all-bits size, a size below
// 128K keeps the dialog open, 100M is stored in bytes, and with splitting off
// OK leaves the document as it was; nothing marks it modified.

#include "window/dialogs/split_archive_dialog.h"

#include <QCheckBox>
#include <QComboBox>

#include <gtest/gtest.h>

#include <cstdlib>

#include "foundation/messages_scripted.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "tests/support/window/qt_application.h"
#include "window/dialogs/volume_group.h"

namespace {

using dialogs::ui::CSplitArchiveDlg;

TEST(SplitArchiveDialog, WritesTheDocumentsVolumeChoices) {
    qvtest::EnsureApplication();
    foundation::ScriptedUiServices ui;
    foundation::ScopedServices<foundation::SetUiServices> scope{&ui};
    image::DocumentPtr doc(image::NewIsoDocument());
    doc->modified = 0;
    {
        CSplitArchiveDlg dlg(*doc);
        dlg.show();
        if (const char* shots = std::getenv("QV_SCREENSHOT_DIR"))
            dlg.grab().save(QString::fromUtf8(shots) + "/split_archive.png");
        EXPECT_FALSE(dlg.Volumes()->SizeBox()->isEnabled());
        dlg.Volumes()->SplitBox()->click();
        EXPECT_TRUE(dlg.Volumes()->SizeBox()->isEnabled());
        dlg.Volumes()->SizeBox()->setEditText(QStringLiteral("100K"));
        dlg.accept();
        EXPECT_TRUE(dlg.isVisible());
        ASSERT_EQ(ui.Boxes().size(), 1u);
        EXPECT_FALSE(doc->splitOutput);
        dlg.Volumes()->SizeBox()->setEditText(QStringLiteral("100M"));
        dlg.accept();
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_TRUE(doc->splitOutput);
        EXPECT_EQ(doc->volumeSize, 104857600);
        EXPECT_FALSE(doc->pauseAfterVolume);
    }
    {
        CSplitArchiveDlg dlg(*doc);
        EXPECT_EQ(dlg.Volumes()->SizeBox()->currentText().toStdString().substr(0, 4), "100M");
        QComboBox* box = dlg.Volumes()->SizeBox();
        box->setCurrentIndex(0);
        emit box->activated(0);
        EXPECT_TRUE(dlg.Volumes()->PauseBox()->isChecked());
        dlg.accept();
        EXPECT_EQ(doc->volumeSize, -1);
        EXPECT_TRUE(doc->pauseAfterVolume);
    }
    {
        CSplitArchiveDlg dlg(*doc);
        dlg.Volumes()->SplitBox()->click();   // off
        dlg.accept();
        EXPECT_TRUE(doc->splitOutput);
        EXPECT_EQ(doc->volumeSize, -1);
    }
    EXPECT_EQ(doc->modified, 0);
}

}  // namespace
