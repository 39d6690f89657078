// The small controls the dialogs and the player bar are built from: the
// drawn progress bar, the time-code field, the slider that follows the
// mouse, the link label and the owner-drawn button base.

#include <QDialog>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/window/qt_application.h"
#include "window/dialogs/app_dialog.h"
#include "window/dialogs/bitmap_slider.h"
#include "window/dialogs/link_label.h"
#include "window/dialogs/owner_draw_button.h"
#include "window/dialogs/skin_progress_ctrl.h"
#include "window/dialogs/time_code_edit.h"

namespace {

using namespace dialogs::ui;

class PaintCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

TEST(SkinProgress, HalfwayFillsHalfAndSplitsTheText) {
    qvtest::EnsureApplication();
    CSkinProgressCtrl bar;
    bar.SetBarColour(QColor(0, 0, 200));
    bar.SetEmptyColour(QColor(255, 255, 255));
    bar.SetTextColours(QColor(0, 0, 200), QColor(255, 255, 255));
    bar.resize(200, 24);
    bar.SetPosition(50);
    EXPECT_EQ(bar.FilledWidth(), 100);
    EXPECT_EQ(bar.ShownText(), QStringLiteral("50%"));
    const QImage image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(10, 2), QColor(0, 0, 200));
    EXPECT_EQ(image.pixelColor(190, 2), QColor(255, 255, 255));
    // The text straddles the edge: white glyph pixels over the bar, blue ones
    // over the empty part.
    bool whiteOverBar = false, blueOverEmpty = false;
    for (int y = 4; y < 20; ++y)
        for (int x = 80; x < 120; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (x < 100 && c == QColor(255, 255, 255)) whiteOverBar = true;
            if (x >= 100 && c == QColor(0, 0, 200)) blueOverEmpty = true;
        }
    EXPECT_TRUE(whiteOverBar);
    EXPECT_TRUE(blueOverEmpty);

    if (const char* shots = std::getenv("QV_SCREENSHOT_DIR")) image.save(QString::fromUtf8(shots) + "/skin_progress.png");
    bar.SetPrefix(QStringLiteral("Burning "));
    bar.SetCaption(QStringLiteral("Done"));
    EXPECT_EQ(bar.ShownText(), QStringLiteral("Burning Done"));
}

TEST(SkinProgress, RedrawsOnlyWhenTheWidthChanges) {
    qvtest::EnsureApplication();
    CSkinProgressCtrl bar;
    bar.resize(200, 20);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    PaintCounter counter;
    bar.installEventFilter(&counter);
    EXPECT_EQ(bar.SetPosition(30), 0);
    const int afterFirst = counter.paints;
    EXPECT_GE(afterFirst, 1);
    EXPECT_EQ(bar.SetPosition(30), 30);
    EXPECT_EQ(counter.paints, afterFirst);
}

TEST(SkinProgress, EmptyOrReversedRangeFillsNothing) {
    qvtest::EnsureApplication();
    CSkinProgressCtrl bar;
    bar.resize(200, 20);
    bar.SetRange(10, 10);
    bar.SetPosition(10);
    EXPECT_EQ(bar.FilledWidth(), 0);
    bar.SetRange(0, 100);
    bar.SetPosition(150);   // beyond the range: full, never wider
    EXPECT_EQ(bar.FilledWidth(), 200);
    bar.SetPosition(-5);
    EXPECT_EQ(bar.FilledWidth(), 0);
}

TEST(TimeCodeEdit, TakesDigitsAndSwallowsTheRest) {
    qvtest::EnsureApplication();
    CTimeCodeEdit edit;
    edit.setText(QStringLiteral("01:23.45"));
    edit.show();
    edit.setCursorPosition(3);
    QTest::keyClick(&edit, Qt::Key_7);
    EXPECT_EQ(edit.text(), QStringLiteral("01:03.45"));
    EXPECT_TRUE(edit.Modified());
    QTest::keyClicks(&edit, QStringLiteral("ab-;"));
    EXPECT_EQ(edit.text(), QStringLiteral("01:03.45"));
    edit.setCursorPosition(6);
    QTest::keyClicks(&edit, QStringLiteral("99"));
    EXPECT_EQ(edit.text(), QStringLiteral("01:03.09"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("01:03. 0"));
}

TEST(BitmapSlider, ClickJumpsAndReportsTheCodes) {
    qvtest::EnsureApplication();
    CBitmapSlider slider(Qt::Horizontal);
    slider.setRange(0, 100);
    slider.resize(200, 24);
    slider.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
    std::vector<int> codes;
    QObject::connect(&slider, &CBitmapSlider::Scrolled, [&](int code, int) { codes.push_back(code); });

    const QPoint farRight(slider.width() - 1, slider.height() / 2);
    QTest::mouseClick(&slider, Qt::LeftButton, {}, farRight);
    EXPECT_EQ(slider.value(), 100);
    EXPECT_EQ(codes, (std::vector<int>{CBitmapSlider::kThumbTrack, CBitmapSlider::kEndTrack,
                                        CBitmapSlider::kThumbPosition}));

    // A click that changes nothing tells nothing.
    codes.clear();
    QTest::mouseClick(&slider, Qt::LeftButton, {}, farRight);
    EXPECT_TRUE(codes.empty());

    // Left edge: the minimum; the middle: about half.
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(0, slider.height() / 2));
    EXPECT_EQ(slider.value(), 0);
    EXPECT_NEAR(slider.ValueAt(QPoint(slider.width() / 2, 5)), 50, 3);
}

TEST(BitmapSlider, DragReportsTrackUntilRelease) {
    qvtest::EnsureApplication();
    CBitmapSlider slider(Qt::Horizontal);
    slider.setRange(0, 100);
    slider.resize(200, 24);
    slider.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
    std::vector<int> codes;
    QObject::connect(&slider, &CBitmapSlider::Scrolled, [&](int code, int) { codes.push_back(code); });
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(20, 12));
    QTest::mouseMove(&slider, QPoint(100, 12));
    QTest::mouseMove(&slider, QPoint(150, 12));
    ASSERT_FALSE(codes.empty());
    for (int code : codes) EXPECT_EQ(code, CBitmapSlider::kThumbTrack);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(150, 12));
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[codes.size() - 2], CBitmapSlider::kEndTrack);
    EXPECT_EQ(codes.back(), CBitmapSlider::kThumbPosition);
}

TEST(LinkLabel, LookByIdAndHitOnlyOverTheText) {
    qvtest::EnsureApplication();
    CLinkLabel install(1459);
    EXPECT_EQ(install.text(), QStringLiteral("Install Quendravine Virtual Drive(Freeware)..."));
    EXPECT_TRUE(install.font().underline());
    EXPECT_EQ(install.font().weight(), QFont::Bold);
    EXPECT_EQ(install.TextColour(), QColor(0, 0, 0xFF));

    CLinkLabel link(1326, QStringLiteral("example"));
    EXPECT_FALSE(link.font().underline());
    link.resize(400, 40);
    link.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&link));
    link.repaint();
    const QRect text = link.TextRect();
    ASSERT_FALSE(text.isEmpty());
    EXPECT_LT(text.width(), 200);   // the word, not the whole label
    EXPECT_TRUE(link.HitTest(link.mapToGlobal(text.center())));
    EXPECT_FALSE(link.HitTest(link.mapToGlobal(QPoint(390, 20))));
    QSignalSpy clicked(&link, &CLinkLabel::Clicked);
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(390, 20));
    EXPECT_EQ(clicked.count(), 0);
    QTest::mouseClick(&link, Qt::LeftButton, {}, text.center());
    EXPECT_EQ(clicked.count(), 1);
}

TEST(OwnerDrawButton, KeepsItsKindsKeyboardBehaviour) {
    qvtest::EnsureApplication();
    struct Row {
        int style;
        int type;
        bool isDefault;
        int code;
    };
    const Row rows[] = {
        {COwnerDrawButton::kDefaultPushButton, COwnerDrawButton::kPushButton, true, COwnerDrawButton::kCodeDefaultPush},
        {COwnerDrawButton::kPushButton, COwnerDrawButton::kPushButton, false, COwnerDrawButton::kCodeUndefinedPush},
        {COwnerDrawButton::kAutoRadioButton, COwnerDrawButton::kAutoRadioButton, false, COwnerDrawButton::kCodeRadio},
        {COwnerDrawButton::kGroupBox, COwnerDrawButton::kGroupBox, false, COwnerDrawButton::kCodeStatic},
    };
    for (const Row& r : rows) {
        COwnerDrawButton button;
        button.Subclass(r.style | 0x10000);
        EXPECT_EQ(button.GetButtonType(), r.type) << r.style;
        EXPECT_EQ(button.IsDefault(), r.isDefault) << r.style;
        EXPECT_EQ(button.DialogCode(), r.code) << r.style;
    }

    // Enter still presses the default button of a dialog.
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* other = new COwnerDrawButton;
    other->Subclass(COwnerDrawButton::kPushButton);
    auto* ok = new COwnerDrawButton;
    ok->Subclass(COwnerDrawButton::kDefaultPushButton);
    layout->addWidget(other);
    layout->addWidget(ok);
    QSignalSpy pressed(ok, &QPushButton::clicked);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(ok->DialogCode(), COwnerDrawButton::kCodeDefaultPush);
    ok->SetButtonStyle(COwnerDrawButton::kPushButton);
    EXPECT_FALSE(ok->IsDefault());
}

}  // namespace
