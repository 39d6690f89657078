// The visual-styles layer draws a push button's face and caption through the
// application's style in each state, and refuses without a theme.

#include "window/faces/visual_styles.h"

#include <QImage>
#include <QPainter>
#include <QPushButton>

#include <gtest/gtest.h>

#include "tests/support/window/qt_application.h"

namespace {

using dialogs::ui::ThemeButtonState;

TEST(VisualStyles, ButtonFacesThroughTheStyle) {
    qvtest::EnsureApplication();
    ASSERT_TRUE(dialogs::ui::ThemeAvailable());
    QPushButton owner;
    EXPECT_EQ(dialogs::ui::ThemeOpen(nullptr, false), nullptr);
    const dialogs::ui::ThemeHandle* theme = dialogs::ui::ThemeOpen(&owner, false);
    ASSERT_NE(theme, nullptr);
    for (const ThemeButtonState state : {ThemeButtonState::Normal, ThemeButtonState::Pressed}) {
        QImage image(80, 30, QImage::Format_ARGB32);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        EXPECT_TRUE(dialogs::ui::ThemeDrawBackground(theme, painter, state, image.rect()));
        EXPECT_TRUE(dialogs::ui::ThemeDrawText(theme, painter, state, QStringLiteral("OK"), image.rect()));
        painter.end();
        // The face covers the magenta fill.
        EXPECT_NE(image.pixel(40, 4), QColor(Qt::magenta).rgb());
    }
    QImage empty(10, 10, QImage::Format_ARGB32);
    QPainter painter(&empty);
    EXPECT_FALSE(dialogs::ui::ThemeDrawBackground(nullptr, painter, ThemeButtonState::Normal, empty.rect()));
    EXPECT_FALSE(dialogs::ui::ThemeDrawBackground(theme, painter, ThemeButtonState::Normal, QRect()));
    painter.end();
    EXPECT_TRUE(dialogs::ui::ThemeClose(theme));
    EXPECT_FALSE(dialogs::ui::ThemeClose(nullptr));
}

}  // namespace
