#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "design/Legibility.h"
#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "store/SyncStatusView.h"

namespace {

TEST(SyncStatusViewTest, OfflineBadgeIsStillAndHasNoLink)
{
    for (SyncState state : {SyncState::synced, SyncState::syncing, SyncState::offline, SyncState::error})
        EXPECT_FALSE(Symbols::icon(SyncStateLook::of(state).symbol).isNull()) << int(state);

    SyncStatusView badge(SyncState::offline, [] {});
    badge.show();
    EXPECT_EQ(badge.textLabel()->text(), "cloud sync \u00B7 coming soon");
    EXPECT_EQ(badge.textLabel()->font(), TarnwickType::caption());
    EXPECT_EQ(badge.textLabel()->palette().color(QPalette::WindowText), QColor::fromRgbF(0.72f, 0.55f, 0.29f));
    EXPECT_EQ(badge.accessibleName(), badge.textLabel()->text());
    EXPECT_FALSE(badge.isSpinning());
    EXPECT_FALSE(badge.retryButton()->isVisible());
}

TEST(SyncStatusViewTest, RetryIsOfferedOnlyInTheErrorStateWithAnAction)
{
    SyncStatusView bare(SyncState::error);
    bare.show();
    EXPECT_EQ(bare.textLabel()->text(), "couldn't sync \u00B7 retry");
    EXPECT_FALSE(bare.retryButton()->isVisible());

    // The footer's action: syncing unless already syncing.
    SyncState storeState = SyncState::error;
    SyncStatusView badge(storeState);
    badge.setOnRetry([&] {
        storeState = SyncState::syncing;
        badge.setState(storeState);
    });
    badge.show();
    ASSERT_TRUE(badge.retryButton()->isVisible());
    QTest::mouseClick(badge.retryButton(), Qt::LeftButton);
    EXPECT_EQ(badge.textLabel()->text(), "syncing\u2026");
    EXPECT_TRUE(badge.isSpinning());
    EXPECT_FALSE(badge.retryButton()->isVisible());

    badge.setState(SyncState::synced);
    EXPECT_FALSE(badge.isSpinning());
    EXPECT_EQ(badge.iconAngle(), 0);
    EXPECT_EQ(badge.textLabel()->palette().color(QPalette::WindowText), TarnwickTheme::textSecondary());
}

// On its ground the badge's colour changes only as far as it takes to read there.
TEST(SyncStatusViewTest, ColourReadsOnItsGround)
{
    SyncStatusView badge(SyncState::offline);
    badge.setGround(QColor(0x23, 0x26, 0x2E));
    EXPECT_EQ(badge.color().rgba(), SyncStateLook::of(SyncState::offline).color.rgba());
    badge.setGround(QColor(0xFF, 0xF6, 0xD5));
    EXPECT_GE(Legibility::ratio(badge.color(), QColor(0xFF, 0xF6, 0xD5)), Legibility::kTextRatio);
    EXPECT_EQ(badge.textLabel()->palette().color(QPalette::WindowText), badge.color());
}

}  // namespace
