#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include "design/TarnwickButton.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"

namespace {

TEST(ButtonStyle, LabelSizeFollowsHeightAndDisabledStillAnswersAPress)
{
    TarnwickPrimaryButtonStyle onboarding{true, false, 42, 11}, panel{true, true, 50, 14};
    EXPECT_EQ(onboarding.makeBody(false).font.pointSizeF(), TarnwickType::pointSize(14));
    EXPECT_EQ(panel.makeBody(false).font.pointSizeF(), TarnwickType::pointSize(15));

    panel.isEnabled = false;
    const ButtonLook disabled = panel.makeBody(true);
    EXPECT_EQ(disabled.foreground, TarnwickTheme::textTertiary());
    EXPECT_LT(disabled.scale, 1.0);

    // Blending into a transparent rest keeps the hue rather than fading through black.
    const TarnwickQuietButtonStyle quiet{false};
    const ButtonLook half = ButtonLook::blend(quiet.makeBody(false), quiet.makeBody(true), 0.5);
    EXPECT_EQ(half.background.rgb(), TarnwickTheme::fill().rgb());
    EXPECT_NEAR(half.background.alphaF(), 0.5, 0.01);
}

TEST(ButtonStyle, WidgetFollowsEnabledStateWidthAndPress)
{
    TarnwickButton button("Continue");
    button.setPrimaryStyle({true, true, 50, 14});
    EXPECT_EQ(button.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    button.setEnabled(false);
    EXPECT_EQ(button.currentLook().foreground, TarnwickTheme::textTertiary());
    button.setEnabled(true);
    EXPECT_EQ(button.currentLook().foreground, QColor(Qt::white));

    button.setQuietStyle({false});
    EXPECT_EQ(button.height(), 38);
    EXPECT_EQ(button.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    EXPECT_GE(button.sizeHint().width(), 32 + QFontMetrics(button.font()).horizontalAdvance(button.text()));

    button.resize(button.sizeHint());
    button.show();
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QTest::mousePress(&button, Qt::LeftButton);
    // The press eases in: the fill shows once the animation has run.
    EXPECT_TRUE(QTest::qWaitFor([&] { return button.currentLook().background == TarnwickTheme::fill(); }));
    QTest::mouseRelease(&button, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return button.currentLook().background.alpha() == 0; }));
}

}  // namespace

// The focus ring takes room from the body, never from the label: a focused button shows the very
// label it shows unfocused ("Begin", not "Be…").
TEST(ButtonStyle, FocusRingLeavesTheLabelWhole)
{
    for (const QString& label : {QString("Begin"), QString("Next"), QString("Start capturing")}) {
        QWidget window;
        auto* button = new TarnwickButton(label, &window);
        button->setPrimaryStyle(TarnwickPrimaryButtonStyle{true, false, 42, 11});
        button->setFocusPolicy(Qt::StrongFocus);
        button->resize(button->sizeHint());
        window.resize(button->size() + QSize(20, 20));
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        window.setFocus();
        const QImage plain = button->grab().toImage();
        button->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(button->hasFocus());
        const QImage focused = button->grab().toImage();
        // Inside the ring and its gap, along the label's band, the two are the same pixels.
        const QRect inside = QRect(QPoint(0, 0), plain.size()).adjusted(5, 12, -5, -12);
        EXPECT_EQ(plain.copy(inside), focused.copy(inside)) << label.toStdString();
        EXPECT_NE(plain, focused) << "no ring drawn";
    }
}
