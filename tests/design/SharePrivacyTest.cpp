#include <gtest/gtest.h>

#include <QWidget>
#include <QWindow>

#include "app/Defaults.h"
#include "design/SharePrivacy.h"
#include "platform/Settings.h"
#include "support/TestEnvironment.h"

using tarnwick::test::LogCapture;

namespace {

TEST(SharePrivacy, HiddenUnlessABooleanFalseIsStored)
{
    Settings settings(std::make_unique<MemorySettingsBackend>());
    const QString key = "privacy.hideFromScreenShare";
    EXPECT_TRUE(SharePrivacy::hideFromScreenShare(settings));
    Defaults::registerTable(settings);
    EXPECT_TRUE(SharePrivacy::hideFromScreenShare(settings));
    // Anything but a Boolean counts as hide, even a string that reads as "no" to lenient readers.
    for (const auto& [stored, hidden] :
         {std::pair<QVariant, bool>{false, false}, {"false", true}, {0, true}, {true, true}}) {
        settings.setValue(key, stored);
        EXPECT_EQ(SharePrivacy::hideFromScreenShare(settings), hidden) << stored.toString().toStdString();
    }
}

TEST(SharePrivacy, RecordsTheWishOnEveryWindowButTheTrayAndClaimsNoSupport)
{
    auto settings = std::make_unique<Settings>(std::make_unique<MemorySettingsBackend>());
    Settings* raw = settings.get();
    Settings::setShared(std::move(settings));

    QWindow window;
    QWidget widget;
    QWidget tray;
    tray.setObjectName("QSystemTrayIconSys");
    LogCapture log;

    SharePrivacy::apply(QList<QWindow*>{&window}, *raw);
    SharePrivacy::apply(QList<QWidget*>{&widget, &tray}, *raw);
    EXPECT_FALSE(SharePrivacy::isSupported());
    EXPECT_EQ(SharePrivacy::wishedHidden(&window), true);
    EXPECT_EQ(SharePrivacy::wishedHidden(&widget), true);
    EXPECT_EQ(SharePrivacy::wishedHidden(&tray), std::nullopt);

    // Switching off takes effect on existing windows when applied again.
    raw->setValue("privacy.hideFromScreenShare", false);
    SharePrivacy::apply(QList<QWindow*>{&window}, *raw);
    EXPECT_EQ(SharePrivacy::wishedHidden(&window), false);
    raw->setValue("privacy.hideFromScreenShare", true);
    SharePrivacy::apply(QList<QWindow*>{&window}, *raw);

    // Said once per process, not on every apply.
    EXPECT_EQ(log.count("not supported"), 1);
    Settings::setShared(nullptr);
}

}  // namespace
