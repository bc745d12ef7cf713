#include "capture/SourceHarvester.h"

#include <QLocale>
#include <algorithm>
#include <array>

#include "platform/AtspiAccessibilityReader.h"
#include "platform/BoundedWait.h"
#include "platform/DesktopEntries.h"

namespace {

struct Browser {
    const char* desktopID;
    const char* brand;         // what the browser writes after the tab title in its window name
    const char* urlAttribute;  // the document attribute that holds the page's address
};

// Desktop-file ids as distributions and Flatpak ship them. Gecko names the address "DocURL";
// Chromium and WebKit name it "URI".
constexpr std::array browsers{
    Browser{"google-chrome", "Google Chrome", "URI"},
    Browser{"google-chrome-beta", "Google Chrome", "URI"},
    Browser{"google-chrome-unstable", "Google Chrome", "URI"},
    Browser{"com.google.Chrome", "Google Chrome", "URI"},
    Browser{"chromium", "Chromium", "URI"},
    Browser{"chromium-browser", "Chromium", "URI"},
    Browser{"org.chromium.Chromium", "Chromium", "URI"},
    Browser{"microsoft-edge", "Microsoft Edge", "URI"},
    Browser{"com.microsoft.Edge", "Microsoft Edge", "URI"},
    Browser{"brave-browser", "Brave", "URI"},
    Browser{"com.brave.Browser", "Brave", "URI"},
    Browser{"vivaldi-stable", "Vivaldi", "URI"},
    Browser{"com.vivaldi.Vivaldi", "Vivaldi", "URI"},
    Browser{"firefox", "Mozilla Firefox", "DocURL"},
    Browser{"firefox-esr", "Mozilla Firefox", "DocURL"},
    Browser{"org.mozilla.firefox", "Mozilla Firefox", "DocURL"},
    Browser{"org.gnome.Epiphany", "", "URI"},
    Browser{"epiphany", "", "URI"},
};

const Browser* browserOf(const QString& bundleID)
{
    const auto it = std::find_if(browsers.begin(), browsers.end(),
                                 [&](const Browser& b) { return bundleID == QLatin1String(b.desktopID); });
    return it == browsers.end() ? nullptr : &*it;
}

bool isDocument(const AccessibleNode& node)
{
    return node.role == AccessibleRole::documentWeb || node.role == AccessibleRole::documentFrame;
}

// Controls hold no page: their subtrees (a menu bar's items, a tool bar's buttons) are not walked.
bool holdsNoPage(quint32 role)
{
    using namespace AccessibleRole;
    switch (role) {
        case comboBox:
        case menu:
        case menuBar:
        case menuItem:
        case pushButton:
        case scrollBar:
        case separator:
        case statusBar:
        case toggleButton:
        case toolBar:
        case toolTip:
        case entry:
            return true;
        default:
            return false;
    }
}

// The page of the focused tab: depth first below `object`, at most `levels` further down, the first
// showing document that holds an address. (Chromium also shows documents of its own around the page,
// with no address.)
struct FoundPage {
    AccessibleObject document;
    QString address;
};
std::optional<FoundPage> showingPage(AccessibilityReader& reader, const AccessibleObject& object,
                                     const QString& urlAttribute, int levels, bool activeFirst = false)
{
    if (levels <= 0) return std::nullopt;
    std::optional<QList<AccessibleNode>> children = reader.children(object, SourceHarvester::kMaxChildren);
    if (!children) return std::nullopt;
    // Below the application: the window that has the focus before the others.
    if (activeFirst)
        std::stable_partition(children->begin(), children->end(),
                              [](const AccessibleNode& n) { return n.states & AccessibleState::active; });
    for (const AccessibleNode& child : *children) {
        if (!(child.states & AccessibleState::showing)) continue;  // a tab in the background, a closed menu
        if (isDocument(child)) {
            const std::optional<QString> address = reader.documentAttribute(child.object, urlAttribute);
            if (reader.timedOut()) return std::nullopt;
            if (address && !address->isEmpty()) return FoundPage{child.object, *address};
            continue;  // a frame within a document is no tab's page either
        }
        if (holdsNoPage(child.role)) continue;
        if (auto found = showingPage(reader, child.object, urlAttribute, levels - 1)) return found;
        if (reader.timedOut()) return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QString> nonBlank(const std::optional<QString>& text)
{
    if (!text) return std::nullopt;
    const QString trimmed = text->trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    return trimmed;
}

}  // namespace

std::optional<QString> SourceHarvester::browserTabTitle(const QString& bundleID, const QString& windowName)
{
    const Browser* browser = browserOf(bundleID);
    if (!browser) return std::nullopt;
    const QString brand = QString::fromLatin1(browser->brand);
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

std::optional<QString> SourceHarvester::addressAttribute(const QString& bundleID)
{
    const Browser* browser = browserOf(bundleID);
    if (!browser) return std::nullopt;
    return QString::fromLatin1(browser->urlAttribute);
}

std::optional<QUrl> SourceHarvester::pageAddress(const QString& text)
{
    if (text.isEmpty()) return std::nullopt;
    // A line feed or another control character is no part of an address; one that carries them
    // would be shown and opened as something other than what it reads.
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if ((scheme == u"http" || scheme == u"https") && !url.host().isEmpty()) return url;
    if (scheme == u"file" && !url.path().isEmpty()) return url;
    return std::nullopt;
}

SourceHarvester::Page SourceHarvester::readPage(AccessibilityReader& reader, qint64 pid, const QString& urlAttribute)
{
    Page page;
    const std::optional<QList<AccessibleObject>> applications = reader.applications(kMaxApplications);
    if (!applications) return page;
    std::optional<AccessibleObject> application;
    for (const AccessibleObject& candidate : *applications) {
        if (reader.processID(candidate) == pid) {
            application = candidate;
            break;
        }
        if (reader.timedOut()) return page;
    }
    // A browser that does not expose its tree is not on the bus at all.
    if (!application) return page;
    const std::optional<FoundPage> found = showingPage(reader, *application, urlAttribute, kMaxDepth, true);
    if (!found) return page;
    page.url = pageAddress(found->address);
    page.title = nonBlank(reader.name(found->document));
    return page;
}

SourceHarvester::PageReader SourceHarvester::desktopPages()
{
    return [](qint64 pid, const QString& urlAttribute, QDeadlineTimer deadline) {
        return runWithin<Page>(deadline,
                               [pid, urlAttribute, deadline] {
                                   const auto reader = AtspiAccessibilityReader::connect(deadline);
                                   return reader ? readPage(*reader, pid, urlAttribute) : Page{};
                               })
            .value_or(Page{});
    };
}

SourceHarvester::Source SourceHarvester::harvest(SelectionReader& reader)
{
    return harvest(reader.activeWindow());
}

SourceHarvester::Source SourceHarvester::harvest(const std::optional<ActiveWindow>& window)
{
    return harvest(window, DesktopEntries::applicationDirs(), desktopPages());
}

SourceHarvester::Source SourceHarvester::harvest(const std::optional<ActiveWindow>& window,
                                                 const QStringList& applicationDirs, const PageReader& pages)
{
    const QDeadlineTimer deadline(kBudgetMs);
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
    const std::optional<QString> attribute = addressAttribute(entry->id);
    if (!attribute || !pages || !window->pid || deadline.hasExpired()) return source;
    const Page page = pages(*window->pid, *attribute, deadline);
    source.url = page.url;
    if (!source.title) source.title = page.title;
    return source;
}
