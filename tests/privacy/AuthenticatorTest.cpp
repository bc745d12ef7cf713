#include <gtest/gtest.h>

#include "support/FakeAuthenticator.h"

using tarnwick::test::FakeAuthenticator;

// Only the password can be asked here, so the texts are those of a machine without biometrics.
TEST(Authenticator, CapabilityTextsFollowAvailability)
{
    FakeAuthenticator authenticator;
    EXPECT_EQ(authenticator.capabilityDescription(), QStringLiteral("Available (password)"));
    EXPECT_EQ(authenticator.authSymbol(), QStringLiteral("key.fill"));
    EXPECT_FALSE(authenticator.hasBiometrics());
    EXPECT_FALSE(authenticator.biometryName().has_value());

    authenticator.available = {false, QStringLiteral("PAM could not start")};
    EXPECT_EQ(authenticator.capabilityDescription(), QStringLiteral("Not available on this Mac"));
    EXPECT_EQ(authenticator.authSymbol(), QStringLiteral("key.fill"));
}
