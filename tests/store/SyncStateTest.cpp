#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "store/SyncStatusView.h"

namespace {

TEST(SyncStateTest, EachStateHasItsSymbolTextAndColour)
{
    struct Row {
        SyncState state;
        const char* symbol;
        QString text;
        QColor color;
    };
    const Row rows[] = {
        {SyncState::synced, "checkmark.icloud", QStringLiteral("synced \u00B7 iCloud"), TarnwickTheme::textSecondary()},
        {SyncState::syncing, "arrow.triangle.2.circlepath", QStringLiteral("syncing\u2026"),
         TarnwickTheme::textSecondary()},
        {SyncState::offline, "externaldrive", QStringLiteral("iCloud sync \u00B7 coming soon"),
         QColor::fromRgbF(0.72f, 0.55f, 0.29f)},
        {SyncState::error, "exclamationmark.icloud", QStringLiteral("couldn't sync \u00B7 retry"),
         QColor::fromRgbF(0.78f, 0.36f, 0.36f)},
    };
    for (const Row& row : rows) {
        const SyncStateLook look = SyncStateLook::of(row.state);
        EXPECT_EQ(look.symbol, QLatin1String(row.symbol));
        EXPECT_EQ(look.text, row.text);
        EXPECT_EQ(look.color, row.color) << row.symbol;
        EXPECT_FALSE(Symbols::icon(look.symbol).isNull()) << row.symbol;
        EXPECT_FALSE(SyncStatusView(row.state).findChild<QLabel*>()->text().isEmpty());
    }
}

TEST(SyncStatusViewTest, OfflineBadgeIsStillAndHasNoLink)
{
    SyncStatusView badge(SyncState::offline, [] {});
    badge.show();
    EXPECT_EQ(badge.textLabel()->text(), QStringLiteral("iCloud sync \u00B7 coming soon"));
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
    EXPECT_EQ(bare.textLabel()->text(), QStringLiteral("couldn't sync \u00B7 retry"));
    EXPECT_FALSE(bare.retryButton()->isVisible());

    // The footer's action: move the state to syncing unless it is already there.
    SyncState storeState = SyncState::error;
    int changes = 0;
    SyncStatusView badge(storeState);
    badge.setOnRetry([&] {
        if (storeState == SyncState::syncing) return;
        storeState = SyncState::syncing;
        ++changes;
        badge.setState(storeState);
    });
    badge.show();
    ASSERT_TRUE(badge.retryButton()->isVisible());
    EXPECT_EQ(badge.retryButton()->text(), QStringLiteral("retry"));
    QTest::mouseClick(badge.retryButton(), Qt::LeftButton);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(badge.textLabel()->text(), QStringLiteral("syncing\u2026"));
    EXPECT_TRUE(badge.isSpinning());
    EXPECT_FALSE(badge.retryButton()->isVisible());
}

TEST(SyncStatusViewTest, SpinsOnlyWhileSyncing)
{
    SyncStatusView badge(SyncState::syncing);
    badge.show();
    EXPECT_TRUE(badge.isSpinning()) << "the first state shown decides";
    badge.setState(SyncState::syncing);
    EXPECT_TRUE(badge.isSpinning());
    badge.setState(SyncState::synced);
    EXPECT_FALSE(badge.isSpinning());
    EXPECT_EQ(badge.iconAngle(), 0);
    EXPECT_EQ(badge.textLabel()->palette().color(QPalette::WindowText), TarnwickTheme::textSecondary());
    badge.setState(SyncState::syncing);
    EXPECT_TRUE(badge.isSpinning());
}

}  // namespace
