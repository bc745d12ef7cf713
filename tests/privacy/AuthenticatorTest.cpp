#include <gtest/gtest.h>

#include "support/FakeAuthenticator.h"

using tarnwick::test::FakeAuthenticator;

// Only the password can be asked here, so the texts are those of a machine without biometrics.
TEST(Authenticator, CapabilityTextsFollowAvailability)
{
    FakeAuthenticator authenticator;
    EXPECT_EQ(authenticator.capabilityDescription(), "Available (password)");
    EXPECT_FALSE(authenticator.hasBiometrics());
    authenticator.available = {false, "PAM could not start"};
    EXPECT_EQ(authenticator.capabilityDescription(), "Not available on this computer");
}
