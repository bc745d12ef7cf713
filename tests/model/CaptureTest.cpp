#include <gtest/gtest.h>

#include "model/Capture.h"

namespace {

TEST(CaptureTest, NewCapturesKeepWhatTheyWereGiven)
{
    const Capture alone(QStringLiteral("text"), std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    EXPECT_FALSE(alone.noteUUID());
    EXPECT_FALSE(alone.isPinned());
    EXPECT_FALSE(alone.sourceApp() || alone.sourceBundleID() || alone.sourceURL() || alone.sourceTitle());

    const QUuid note = QUuid::createUuid();
    const Capture filed(QStringLiteral("text"), QStringLiteral("Browser"), QStringLiteral("org.example.browser"),
                        QUrl(QStringLiteral("https://example.org")), QStringLiteral("Example"), note);
    EXPECT_EQ(filed.noteUUID(), note);
    EXPECT_EQ(filed.sourceBundleID(), QStringLiteral("org.example.browser"));
    EXPECT_NE(filed.uuid(), alone.uuid());
}

}  // namespace
