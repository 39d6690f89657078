#include "shellext/dialog_faces/shell_dialog_faces.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "app/dialog_services.h"
#include "app/other_openers.h"
#include "foundation/file_filters.h"
#include "foundation/language.h"
#include "shellext/program_start.h"
#include "shellext/shell_extension.h"
#include "window/dialogs/archive_run_dialog.h"
#include "window/dialogs/prompt_face.h"
#include "window/dialogs/drive_config_dialog.h"

namespace shellext {
namespace {

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// The file manager's own application when it has one; else one made for the
// dialog and ended with it, so no toolkit threads outlive the command in a
// host that never meant to run a toolkit.
class ScopedApplication {
public:
    ScopedApplication() {
        if (QApplication::instance()) {
            usable_ = qobject_cast<QApplication*>(QApplication::instance()) != nullptr;
            return;
        }
        if (!HasDisplay()) return;
        own_ = std::make_unique<QApplication>(argc_, argv_);
        usable_ = true;
    }
    bool Usable() const { return usable_; }

private:
    int argc_ = 1;
    char name_[8] = "qvshell";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> own_;
    bool usable_ = false;
};

class DialogFaces final : public IShellDialogServices, public IArchiveRunServices {
public:
    explicit DialogFaces(IShellDialogServices* fallback) : fallback_(fallback) {}

    std::optional<std::u16string> ChooseFileToMount() override {
        ScopedApplication application;
        if (!application.Usable()) return std::nullopt;
        const QString filter = QString::fromStdU16String(foundation::ToQtFilterString(foundation::BuildOpenDialogFilter()));
        const QString chosen = QFileDialog::getOpenFileName(nullptr, QStringLiteral("Quendravine"), QDir::homePath(), filter);
        if (chosen.isEmpty()) return std::nullopt;
        return chosen.toStdU16String();
    }

    // Shown here, with the routine the option sheet's Virtual Drive page
    // applies its values with; without a display the stand-in's way (the
    // window program) is taken.
    bool RunDriveConfiguration() override {
        ScopedApplication application;
        if (!application.Usable()) return fallback_->RunDriveConfiguration();
        dialogs::ui::RunVirtualDriveConfigDialog(nullptr);
        return true;
    }

    ArchiveRunChoice RunArchiveContentsDialog(const std::u16string& archivePath) override {
        ArchiveRunChoice choice;
        ScopedApplication application;
        if (!application.Usable()) return choice;
        dialogs::ui::ArchiveRunResult result;
        if (!dialogs::ui::RunArchiveContentsDialog(nullptr, archivePath, IsVirtualDriveInstalledHere(), result))
            return choice;
        choice.accepted = true;
        choice.run = result.run;
        choice.driveIndex = result.driveIndex;
        choice.itemPath = result.itemPath;
        return choice;
    }

private:
    IShellDialogServices* fallback_;
};

}  // namespace

void InstallDialogFaces() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The archive readers the contents dialog opens archives with.
        app::InstallReaders();
        static DialogFaces faces(&ShellDialogServices());
        SetShellDialogServices(&faces);
        SetArchiveRunServices(&faces);
        // An encrypted archive or a volume set opened by the contents dialog
        // asks its password or missing volume as the window program does;
        // with no application running, the face answers cancel.
        static dialogs::ui::WindowPrompts prompts;
        foundation::SetPromptServices(&prompts);
        app::InstallDialogServices();
    });
}

}  // namespace shellext
