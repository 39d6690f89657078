#pragma once
// A chooser that takes files and folders together, as one list of full
// paths: the selected names are shown quoted in the name box, and OK takes
// the box's names (typed or selected), where the stock open dialog would
// refuse a folder. The adding variant's OK button reads "Add".

#include <QDialog>

#include <string>
#include <vector>

class QFileSystemModel;
class QLineEdit;
class QListView;
class QPushButton;

namespace dialogs::ui {

class CFileFolderSelect : public QDialog {
    Q_OBJECT

public:
    CFileFolderSelect(const QString& title, const QString& startFolder, bool addVariant, QWidget* parent = nullptr);

    // After OK: the chosen files and folders, full paths, in order.
    const std::vector<std::u16string>& Chosen() const { return chosen_; }
    QString Folder() const;
    void GoTo(const QString& folder);

public slots:
    void accept() override;

private:
    void SelectionChanged();
    void Activated(const QModelIndex& index);
    void GoUp();

    QFileSystemModel* model_ = nullptr;
    QListView* view_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QLineEdit* names_ = nullptr;
    QPushButton* ok_ = nullptr;
    // What the selection last wrote into the name box, and the paths it
    // stands for: a name holding a quote is taken from here, not re-read.
    QString selectionText_;
    std::vector<std::u16string> selectionPaths_;
    std::vector<std::u16string> chosen_;
};

// Runs the chooser; empty when cancelled.
std::vector<std::u16string> SelectFilesAndFolders(QWidget* parent, const QString& title, const QString& startFolder,
                                                  bool addVariant);

}  // namespace dialogs::ui
