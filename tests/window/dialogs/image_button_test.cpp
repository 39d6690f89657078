// The image button's toggle (one flip per click released inside, none for a
// release outside, a double click's second press a click of its own), its
// grey disabled icon, and the alpha blend laid beside ImageMagick's
// "convert -compose over" of the same pixels.

#include "window/dialogs/image_button.h"

#include <QImage>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/test_support.h"
#include "tests/support/window/qt_application.h"
#include "window/models/pixel_blend.h"

namespace {

using dialogs::ui::CImageButton;

TEST(ImageButton, ToggleFlipsOncePerClickReleasedInside) {
    qvtest::EnsureApplication();
    CImageButton button(QStringLiteral("Toggle"));
    button.resize(80, 30);
    button.SetToggleMode(true);
    button.show();
    QSignalSpy clicks(&button, &QPushButton::clicked);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(button.isChecked());
    // Pressed inside, released outside: no click, no flip.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(200, 10));
    EXPECT_TRUE(button.isChecked());
    // The first press of a double click is a click, and so is its second.
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(button.isChecked());
    QTest::mouseDClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks.count(), 3);
    EXPECT_TRUE(button.isChecked());
}

TEST(ImageButton, DisabledIconIsGrey) {
    qvtest::EnsureApplication();
    CImageButton button(QStringLiteral("Browse"));
    const QIcon icon = button.style()->standardIcon(QStyle::SP_DirOpenIcon);
    button.SetIconImage(icon);
    const QImage grey = button.icon().pixmap(QSize(16, 16), QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(grey.isNull());
    bool sawOpaque = false;
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x) {
            const QRgb p = grey.pixel(x, y);
            if (qAlpha(p) == 0) continue;
            sawOpaque = true;
            EXPECT_EQ(qRed(p), qGreen(p));
            EXPECT_EQ(qGreen(p), qBlue(p));
        }
    EXPECT_TRUE(sawOpaque);
    // Table rows: c = 255 − mean; 0 counts as 1; transparent white stays.
    EXPECT_EQ(dialogs::GreyIconPixel(0xFF000000u), 0xFF000000u);   // black: c 255 → level 0
    EXPECT_EQ(dialogs::GreyIconPixel(0xFFFFFFFFu), 0xFFFEFEFEu);   // white: c 0 → 1 → level 254
    EXPECT_EQ(dialogs::GreyIconPixel(0x80306090u), 0x80606060u);   // mean 96
    EXPECT_EQ(dialogs::GreyIconPixel(0x00000000u), 0x00000000u);   // transparent black stays
}

TEST(PixelBlend, MatchesImageMagickOver) {
    qvtest::TempDir dir;
    // A source with every alpha step over a fixed target.
    QImage source(256, 4, QImage::Format_ARGB32);
    QImage target(256, 4, QImage::Format_ARGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 256; ++x) {
            source.setPixel(x, y, qRgba((x * 7 + y * 50) & 0xFF, (x * 3) & 0xFF, 255 - x, x));
            target.setPixel(x, y, qRgba((y * 80) & 0xFF, 255 - x, (x * 5) & 0xFF, 255));
        }
    ASSERT_TRUE(source.save(QString::fromStdString(dir / "s.png")));
    ASSERT_TRUE(target.save(QString::fromStdString(dir / "t.png")));
    qvtest::RunOk("convert " + qvtest::ShellQuote(dir / "t.png") + " " + qvtest::ShellQuote(dir / "s.png") +
                  " -compose over -composite " + qvtest::ShellQuote(dir / "o.png"));
    const QImage peer = QImage(QString::fromStdString(dir / "o.png")).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(peer.size(), source.size());
    int worst = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 256; ++x) {
            const uint32_t ours = dialogs::BlendPixel(source.pixel(x, y), target.pixel(x, y));
            const QRgb theirs = peer.pixel(x, y);
            worst = std::max({worst, std::abs(int((ours >> 16) & 0xFF) - qRed(theirs)),
                              std::abs(int((ours >> 8) & 0xFF) - qGreen(theirs)),
                              std::abs(int(ours & 0xFF) - qBlue(theirs))});
        }
    // Integer division on each side of the sum loses at most one step.
    EXPECT_LE(worst, 1);
}

}  // namespace
