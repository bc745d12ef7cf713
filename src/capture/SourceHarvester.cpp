#include "capture/SourceHarvester.h"

#include <QLocale>
#include <array>

#include "platform/DesktopEntries.h"

namespace {

struct Browser {
    const char* desktopID;
    const char* brand;  // what the browser writes after the tab title in its window name
};

// Desktop-file ids as distributions and Flatpak ship them.
constexpr std::array browsers{
    Browser{"google-chrome", "Google Chrome"},
    Browser{"google-chrome-beta", "Google Chrome"},
    Browser{"google-chrome-unstable", "Google Chrome"},
    Browser{"com.google.Chrome", "Google Chrome"},
    Browser{"chromium", "Chromium"},
    Browser{"chromium-browser", "Chromium"},
    Browser{"org.chromium.Chromium", "Chromium"},
    Browser{"microsoft-edge", "Microsoft Edge"},
    Browser{"com.microsoft.Edge", "Microsoft Edge"},
    Browser{"brave-browser", "Brave"},
    Browser{"com.brave.Browser", "Brave"},
    Browser{"vivaldi-stable", "Vivaldi"},
    Browser{"com.vivaldi.Vivaldi", "Vivaldi"},
    Browser{"firefox", "Mozilla Firefox"},
    Browser{"firefox-esr", "Mozilla Firefox"},
    Browser{"org.mozilla.firefox", "Mozilla Firefox"},
    Browser{"org.gnome.Epiphany", ""},
    Browser{"epiphany", ""},
};

}  // namespace

std::optional<QString> SourceHarvester::browserTabTitle(const QString& bundleID, const QString& windowName)
{
    const auto it = std::find_if(browsers.begin(), browsers.end(),
                                 [&](const Browser& b) { return bundleID == QLatin1String(b.desktopID); });
    if (it == browsers.end()) return std::nullopt;
    const QString brand = QString::fromLatin1(it->brand);
    QString title = windowName.trimmed();
    if (!brand.isEmpty()) {
        // A window without a page shows the brand alone; that is no tab title.
        if (title == brand) return std::nullopt;
        if (title.endsWith(brand)) {
            QString rest = title.chopped(brand.size()).trimmed();
            if (rest.endsWith(u'-') || rest.endsWith(u'\u2014')) title = rest.chopped(1);
        }
        title = title.trimmed();
    }
    if (title.isEmpty()) return std::nullopt;
    return title;
}

SourceHarvester::Source SourceHarvester::harvest(SelectionReader& reader)
{
    return harvest(reader.activeWindow());
}

SourceHarvester::Source SourceHarvester::harvest(const std::optional<ActiveWindow>& window)
{
    return harvest(window, DesktopEntries::applicationDirs());
}

SourceHarvester::Source SourceHarvester::harvest(const std::optional<ActiveWindow>& window,
                                                 const QStringList& applicationDirs)
{
    Source source;
    if (!window) return source;
    const auto entry = DesktopEntries::forWindowClass(window->instanceName, window->className, applicationDirs,
                                                      QLocale::system().name());
    if (!entry) {
        // Without an entry the window class is the best name there is, and no id can be vouched for.
        if (!window->className.isEmpty()) source.app = window->className;
        return source;
    }
    if (!entry->name.isEmpty())
        source.app = entry->name;
    else if (!window->className.isEmpty())
        source.app = window->className;
    source.bundleID = entry->id;
    source.title = browserTabTitle(entry->id, window->title);
    return source;
}
