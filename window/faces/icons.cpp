#include "window/faces/icons.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "foundation/byte_order.h"

// The resources are compiled into a static library, so they are registered
// by hand before the first use.
static void RegisterIconResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

namespace foundation::ui {

namespace {

// A disc: the program's mark.
QPixmap DrawDisc(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outer(0.5, 0.5, side - 1.0, side - 1.0);
    QRadialGradient shine(outer.center(), side / 2.0, outer.topLeft() + QPointF(side * 0.3, side * 0.3));
    shine.setColorAt(0.0, QColor(0xF4, 0xF6, 0xFF));
    shine.setColorAt(0.6, QColor(0x9C, 0xB8, 0xE8));
    shine.setColorAt(1.0, QColor(0x3A, 0x5F, 0xB0));
    painter.setPen(QPen(QColor(0x22, 0x3A, 0x70), side / 16.0));
    painter.setBrush(shine);
    painter.drawEllipse(outer);
    const double hole = side * 0.28;
    painter.setBrush(QColor(0xE0, 0xE6, 0xF0));
    painter.drawEllipse(outer.center(), hole / 2, hole / 2);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0xE8, 0x8A, 0x1A), side / 10.0));
    painter.drawArc(outer.adjusted(side * 0.18, side * 0.18, -side * 0.18, -side * 0.18), 30 * 16, 80 * 16);
    return pixmap;
}

// A page with a folded corner and the disc on it.
QPixmap DrawDocument(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double fold = side * 0.28;
    QPainterPath page;
    page.moveTo(side * 0.12, 0.5);
    page.lineTo(side * 0.88 - fold, 0.5);
    page.lineTo(side * 0.88, fold);
    page.lineTo(side * 0.88, side - 0.5);
    page.lineTo(side * 0.12, side - 0.5);
    page.closeSubpath();
    painter.setPen(QPen(QColor(0x55, 0x57, 0x53), 1));
    painter.setBrush(Qt::white);
    painter.drawPath(page);
    const int disc = side / 2;
    painter.drawPixmap((side - disc) / 2, side - disc - side / 8, DrawDisc(disc));
    return pixmap;
}

// A check mark or a cross on a round button face.
QPixmap DrawMark(int side, bool ok) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ok ? QColor(0x2E, 0x7D, 0x32) : QColor(0xB7, 0x1C, 0x1C), side / 6.0, Qt::SolidLine,
                        Qt::RoundCap, Qt::RoundJoin));
    if (ok) {
        painter.drawPolyline(QPolygonF({QPointF(side * 0.18, side * 0.55), QPointF(side * 0.42, side * 0.78),
                                        QPointF(side * 0.84, side * 0.22)}));
    } else {
        painter.drawLine(QPointF(side * 0.22, side * 0.22), QPointF(side * 0.78, side * 0.78));
        painter.drawLine(QPointF(side * 0.78, side * 0.22), QPointF(side * 0.22, side * 0.78));
    }
    return pixmap;
}

template <typename Draw>
QIcon Sizes(Draw draw) {
    QIcon icon;
    for (int side : {16, 24, 32, 48}) icon.addPixmap(draw(side));
    return icon;
}

void PutU16(QByteArray& out, uint16_t value) {
    uint8_t field[2];
    foundation::WriteLE16(field, value);
    out.append(reinterpret_cast<const char*>(field), 2);
}
void PutU32(QByteArray& out, uint32_t value) {
    uint8_t field[4];
    foundation::WriteLE32(field, value);
    out.append(reinterpret_cast<const char*>(field), 4);
}

constexpr int kThemeSides[] = {16, 22, 32};

QString ThemeIconPath(int side, const QString& name) {
    return QStringLiteral(":/qv/icons/%1x%1/%2.png").arg(side).arg(name);
}

// A theme icon comes in a few sizes and a bar or view shows one of them.
// Decoding every size when the icon is made costs start-up time for images
// never shown; this engine decodes a size when it is first asked for, once
// per run, and otherwise answers as an icon holding every size would: the
// smallest size that covers the request, else the largest, scaled down to
// the request and greyed or highlighted by the style for other modes.
class ThemeIconEngine final : public QIconEngine {
public:
    ThemeIconEngine(QString name, QList<int> sides) : name_(std::move(name)), sides_(std::move(sides)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const QPaintDevice* device = painter->device();
        const qreal ratio = device ? device->devicePixelRatioF() : qApp->devicePixelRatio();
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        QSize actual(BestSide(size), BestSide(size));
        if (actual.width() > size.width() || actual.height() > size.height()) actual.scale(size, Qt::KeepAspectRatio);
        return actual;
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return SideIcon(BestSide(size)).pixmap(size, 1.0, mode, state);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        QList<QSize> sizes;
        if (mode != QIcon::Normal || state != QIcon::Off) return sizes;
        for (int side : sides_) sizes.push_back(QSize(side, side));
        return sizes;
    }

    bool isNull() override { return sides_.isEmpty(); }
    QString key() const override { return QStringLiteral("ThemeIconEngine"); }
    QIconEngine* clone() const override { return new ThemeIconEngine(name_, sides_); }

private:
    // The smallest size whose area covers the request, else the largest.
    int BestSide(const QSize& size) const {
        const qint64 wanted = qint64{size.width()} * size.height();
        int best = 0;
        for (int side : sides_) {
            const qint64 area = qint64{side} * side;
            const qint64 bestArea = qint64{best} * best;
            if (best == 0 || (std::min(area, bestArea) >= wanted ? area < bestArea : area > bestArea)) best = side;
        }
        return best;
    }

    // One size of one icon, decoded on its first use and kept for the run.
    QIcon SideIcon(int side) const {
        static QHash<QString, QIcon> decoded;
        const QString path = ThemeIconPath(side, name_);
        if (auto found = decoded.constFind(path); found != decoded.cend()) return *found;
        QIcon icon;
        icon.addFile(path, QSize(side, side));
        decoded.insert(path, icon);
        return icon;
    }

    QString name_;
    QList<int> sides_;
};

}  // namespace

QIcon ProgramIcon() {
    static const QIcon icon = Sizes(DrawDisc);
    return icon;
}
QIcon DocumentIcon() {
    static const QIcon icon = Sizes(DrawDocument);
    return icon;
}
QIcon OkIcon() {
    static const QIcon icon = Sizes([](int side) { return DrawMark(side, true); });
    return icon;
}
QIcon CancelIcon() {
    static const QIcon icon = Sizes([](int side) { return DrawMark(side, false); });
    return icon;
}

QIcon BuiltInIcon(const QString& name) {
    // Views ask for their row icons on every paint: one icon per name and run.
    static QHash<QString, QIcon> made;
    if (auto found = made.constFind(name); found != made.cend()) return *found;
    RegisterIconResources();
    QList<int> sides;
    for (int side : kThemeSides)
        if (QFile::exists(ThemeIconPath(side, name))) sides.push_back(side);
    QIcon icon;
    if (!sides.isEmpty()) icon = QIcon(new ThemeIconEngine(name, std::move(sides)));
    made.insert(name, icon);
    return icon;
}

// An .ico file holding PNG images (the form every current reader takes):
// header, one directory entry per size, then the images.
QByteArray DocumentIconFile() {
    // Drawn and packed once a run: the drawing never changes.
    static const QByteArray file = [] {
    std::vector<QByteArray> images;
    const int sides[] = {16, 32};
    for (int side : sides) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        DrawDocument(side).toImage().save(&buffer, "PNG");
        images.push_back(png);
    }
    QByteArray out;
    PutU16(out, 0);
    PutU16(out, 1);
    PutU16(out, static_cast<uint16_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.append(static_cast<char>(sides[i]));
        out.append(static_cast<char>(sides[i]));
        out.append('\0');   // no palette
        out.append('\0');
        PutU16(out, 1);     // planes
        PutU16(out, 32);    // bits per pixel
        PutU32(out, static_cast<uint32_t>(images[i].size()));
        PutU32(out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const QByteArray& image : images) out.append(image);
    return out;
    }();
    return file;
}

}  // namespace foundation::ui
