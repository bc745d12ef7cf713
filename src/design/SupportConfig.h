#pragma once

#include <QUrl>

// Links to the product's legal pages, shown by the settings window and the onboarding tour.
struct SupportConfig {
    static const QUrl& termsURL();
    static const QUrl& privacyURL();
};
