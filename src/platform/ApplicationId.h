#pragma once

#include <QString>

// The application's one identity on the desktop: its session-bus name, the name of its desktop file,
// AppStream component and icon. Set once in the build (TARNWICK_APP_ID).
namespace ApplicationId {
inline constexpr const char* kName = TARNWICK_APP_ID;

inline QString name()
{
    return QString::fromLatin1(kName);
}
// The bus object path that goes with the name: "/" + the name with dots as slashes.
inline QString objectPath()
{
    return u'/' + name().replace(u'.', u'/');
}
inline QString desktopFileName()
{
    return name() + QStringLiteral(".desktop");
}
}  // namespace ApplicationId
