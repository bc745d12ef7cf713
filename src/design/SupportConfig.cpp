#include "design/SupportConfig.h"

const QUrl& SupportConfig::termsURL()
{
    static const QUrl url(QStringLiteral("https://tarnwick.app/terms"));
    return url;
}

const QUrl& SupportConfig::privacyURL()
{
    static const QUrl url(QStringLiteral("https://tarnwick.app/privacy"));
    return url;
}
