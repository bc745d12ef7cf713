#include "platform/Authenticator.h"

QString Authenticator::capabilityDescription()
{
    if (!availability().available) return QStringLiteral("Not available on this computer");
    if (const auto name = biometryName()) return *name + QStringLiteral(" available");
    return QStringLiteral("Available (password)");
}
