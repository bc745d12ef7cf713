#include <gtest/gtest.h>

#include "support/FakeAuthenticator.h"

using tarnwick::test::FakeAuthenticator;

// Only the password can be asked here, so the texts are those of a machine without biometrics.
TEST(Authenticator, CapabilityTextsFollowAvailability)
{
    FakeAuthenticator authenticator;
    EXPECT_EQ(authenticator.capabilityDescription(), "Available (password)");
    EXPECT_EQ(authenticator.authSymbol(), "key.fill");
    EXPECT_FALSE(authenticator.hasBiometrics());
    EXPECT_FALSE(authenticator.biometryName().has_value());

    authenticator.available = {false, "PAM could not start"};
    EXPECT_EQ(authenticator.capabilityDescription(), "Not available on this computer");
    EXPECT_EQ(authenticator.authSymbol(), "key.fill");
}
