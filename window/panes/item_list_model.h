#pragma once
// The file list's model: the shown folder's visible entries as rows, sorted by
// the model itself so a row number is the list index the commands use. It
// points into the document's item tree and copies nothing of it; Clear() must
// run before the document is freed.

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace image {
struct ImageContext;
struct ImageFolder;
struct ImageItem;
}  // namespace image

namespace app::ui {

enum class ListColumn : int { Name = 0, Size = 1, Type = 2, Date = 3 };
inline constexpr int kListColumns = 4;
// The item of a row, for the views.
inline constexpr int kItemRole = Qt::UserRole + 1;

class ItemListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ItemListModel(QObject* parent = nullptr);

    // Shows the folder's entries (null: none).
    void ShowFolder(image::ImageContext* ctx, image::ImageFolder* folder);
    void Clear();
    // The row of an item that is leaving its folder (told before it goes).
    void RemoveItem(const image::ImageItem* item);
    // An item's cells again (its date or size changed in place).
    void RefreshItem(const image::ImageItem* item);
    // Sort column 0..3 and direction; re-sorts the rows.
    void SetSort(int column, bool ascending);
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }
    image::ImageFolder* Folder() const { return folder_; }
    image::ImageItem* ItemAt(int row) const;
    int RowOf(const image::ImageItem* item) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order) override;
    // Names are edited in place (column 0); the end of an edit goes to the
    // document's rename command and shows the new name only when it took it.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // Dragging the selection out; drops of this program's items on a folder
    // row (or elsewhere: the shown folder) move them there.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    // Titles again after a language switch.
    void RefreshTitles();

private:
    struct Row {
        image::ImageItem* item = nullptr;
        bool folder = false;
        uint64_t size = 0;
        QString type;
        std::array<uint8_t, 7> date{};
        QString foldedName;
        QString name;
        QString sizeText;
        QString dateText;
    };
    Row MakeRow(image::ImageItem* item) const;
    image::ImageFolder* DropTarget(const QModelIndex& parent) const;
    void SortRows();

    image::ImageContext* ctx_ = nullptr;
    image::ImageFolder* folder_ = nullptr;
    std::vector<Row> rows_;
    int sortColumn_ = 0;
    bool ascending_ = true;
};

}  // namespace app::ui
