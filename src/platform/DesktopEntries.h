#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The .desktop entry of a running window: it gives the application's name as menus show it and the
// desktop-file id that icons and launchers are keyed by.
struct DesktopEntry {
    QString id;    // file name without ".desktop", sub-folders of applications/ joined with "-"
    QString name;  // Name, localised when the entry has the user's language
};

struct DesktopEntries {
    // The entry for a window's WM_CLASS: a file named after the class or the instance (letter case
    // ignored), else the first one whose StartupWMClass is the class. Searched in $XDG_DATA_HOME and
    // then $XDG_DATA_DIRS, each under applications/. Hidden or NoDisplay entries still name the
    // application.
    static std::optional<DesktopEntry> forWindowClass(const QString& instanceName, const QString& className,
                                                      const QStringList& applicationDirs, const QString& locale);
    static QStringList applicationDirs();
};
