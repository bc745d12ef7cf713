#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "design/TarnwickButton.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"

namespace {

TEST(ButtonStyle, PrimaryLabelSizeFollowsHeight)
{
    TarnwickPrimaryButtonStyle onboarding{true, false, 42, 11};
    TarnwickPrimaryButtonStyle tall{true, true, 44, 11};
    TarnwickPrimaryButtonStyle panel{true, true, 50, 14};
    EXPECT_EQ(onboarding.makeBody(false).font.pointSizeF(), TarnwickType::pointSize(14));
    EXPECT_EQ(tall.makeBody(false).font.pointSizeF(), TarnwickType::pointSize(14));
    EXPECT_EQ(panel.makeBody(false).font.pointSizeF(), TarnwickType::pointSize(15));
    EXPECT_EQ(panel.makeBody(false).font.weight(), QFont::DemiBold);
    EXPECT_EQ(panel.makeBody(false).horizontalPadding, 16);
    EXPECT_EQ(onboarding.makeBody(false).horizontalPadding, 26);
}

TEST(ButtonStyle, PrimaryEnabledDisabledAndPressedLooks)
{
    TarnwickPrimaryButtonStyle style{true, true, 50, 14};
    const ButtonLook enabled = style.makeBody(false);
    EXPECT_EQ(enabled.foreground, QColor(Qt::white));
    EXPECT_EQ(enabled.background, TarnwickTheme::accent());
    EXPECT_EQ(enabled.opacity, 1.0);
    EXPECT_EQ(enabled.scale, 1.0);

    style.isEnabled = false;
    const ButtonLook disabled = style.makeBody(false);
    EXPECT_EQ(disabled.foreground, TarnwickTheme::textTertiary());
    EXPECT_EQ(disabled.background.rgb(), TarnwickTheme::textPrimary().rgb());
    EXPECT_NEAR(disabled.background.alphaF(), 0.08, 1e-3);
    // Still answers a press.
    const ButtonLook disabledPressed = style.makeBody(true);
    EXPECT_EQ(disabledPressed.opacity, 0.86);
    EXPECT_EQ(disabledPressed.scale, 0.97);
}

TEST(ButtonStyle, QuietLookHasOnlyAPressedFill)
{
    const TarnwickQuietButtonStyle style{false};
    const ButtonLook rest = style.makeBody(false);
    const ButtonLook pressed = style.makeBody(true);
    EXPECT_EQ(rest.font.pointSizeF(), TarnwickType::pointSize(14));
    EXPECT_EQ(rest.font.weight(), QFont::Medium);
    EXPECT_EQ(rest.foreground, TarnwickTheme::textSecondary());
    EXPECT_EQ(rest.background.alpha(), 0);
    EXPECT_EQ(pressed.background, TarnwickTheme::fill());
    EXPECT_EQ(pressed.opacity, 1.0);
    EXPECT_EQ(pressed.scale, 1.0);
    EXPECT_EQ(rest.height, 38);
    EXPECT_EQ(rest.cornerRadius, 11);
}

TEST(ButtonStyle, BlendIntoTransparentKeepsTheHue)
{
    const TarnwickQuietButtonStyle style{false};
    const ButtonLook half = ButtonLook::blend(style.makeBody(false), style.makeBody(true), 0.5);
    EXPECT_EQ(half.background.rgb(), TarnwickTheme::fill().rgb());
    EXPECT_NEAR(half.background.alphaF(), 0.5, 0.01);
}

TEST(ButtonStyle, WidgetFollowsEnabledStateWidthAndPress)
{
    TarnwickButton button("Continue");
    button.setPrimaryStyle({true, true, 50, 14});
    EXPECT_EQ(button.height(), 50);
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
