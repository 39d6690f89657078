#include "window/dialogs/image_button.h"

#include <QImage>
#include <QPixmap>

#include "window/models/pixel_blend.h"

namespace dialogs::ui {

CImageButton::CImageButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void CImageButton::SetIconImage(const QIcon& icon) {
    QIcon both = icon;
    for (const int side : {16, 24, 32}) {
        const QPixmap grey = GreyIconPixmap(icon, QSize(side, side));
        if (!grey.isNull()) both.addPixmap(grey, QIcon::Disabled);
    }
    setIcon(both);
}

QPixmap GreyIconPixmap(const QIcon& icon, const QSize& size) {
    const QPixmap pixmap = icon.pixmap(size);
    if (pixmap.isNull()) return {};
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) row[x] = dialogs::GreyIconPixel(row[x]);
    }
    return QPixmap::fromImage(image);
}

}  // namespace dialogs::ui
