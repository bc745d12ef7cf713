#pragma once

#include <QString>
#include <QUrl>
#include <optional>

#include "platform/SelectionReader.h"

// Where a capture came from: the application in front (its .desktop name and id, else its window
// class) and, for a known browser, the tab's title taken from the window name. Browsers do not hand
// their tab's address to other X clients, so the address stays empty. Never fails: what cannot be
// learnt stays empty.
class SourceHarvester {
public:
    struct Source {
        std::optional<QString> app;
        std::optional<QString> bundleID;
        std::optional<QUrl> url;
        std::optional<QString> title;
    };

    SourceHarvester() = delete;

    static Source harvest(SelectionReader& reader);
    // The same, for a window already read; none gives an empty source.
    static Source harvest(const std::optional<ActiveWindow>& window);
    // Over the given desktop-entry folders (tests).
    static Source harvest(const std::optional<ActiveWindow>& window, const QStringList& applicationDirs);

    // The tab title inside a browser's window name, for a desktop-file id of a known browser (exact
    // letter case); none for any other application or a blank title.
    static std::optional<QString> browserTabTitle(const QString& bundleID, const QString& windowName);
};
