#include "capture/SourceHarvester.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <array>
#include <iterator>

#include "platform/AtspiAccessibilityReader.h"
#include "platform/BoundedWait.h"
#include "platform/DesktopEntries.h"
#include "platform/Log.h"

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

// The page of the focused tab: depth first among `nodes` and below them, at most `levels` further
// down, the first showing document that holds an address. (Chromium also shows documents of its own
// around the page, with no address.)
struct FoundPage {
    AccessibleObject document;
    QString address;
};
std::optional<FoundPage> showingPage(AccessibilityReader& reader, const QList<AccessibleNode>& nodes,
                                     const QString& urlAttribute, int levels)
{
    for (const AccessibleNode& node : nodes) {
        if (!(node.states & AccessibleState::showing)) continue;  // a tab in the background, a closed menu
        if (isDocument(node)) {
            const std::optional<QString> address = reader.documentAttribute(node.object, urlAttribute);
            if (reader.timedOut()) return std::nullopt;
            if (address && !address->isEmpty()) return FoundPage{node.object, *address};
            continue;  // a frame within a document is no tab's page either
        }
        if (holdsNoPage(node.role) || levels <= 1) continue;
        const std::optional<QList<AccessibleNode>> children =
            reader.children(node.object, SourceHarvester::kMaxChildren);
        if (reader.timedOut()) return std::nullopt;
        if (!children) continue;
        if (auto found = showingPage(reader, *children, urlAttribute, levels - 1)) return found;
        if (reader.timedOut()) return std::nullopt;
    }
    return std::nullopt;
}

// Which of a browser's windows on the bus is the X window the capture came from. While another client
// holds the keyboard (our hot key's grab does, as a capture starts) a browser takes its "active" mark
// off every window, so the window is recognised by what X told of it: its name and its place, the
// windows that match more of the two going first. Among windows that match equally the active one
// goes first; windows still alike are all kept, and the caller takes a page only when one of them
// shows one.
QList<AccessibleNode> likeliestWindows(AccessibilityReader& reader, const QList<AccessibleNode>& windows,
                                       const ActiveWindow& window)
{
    if (windows.size() < 2) return windows;
    const QString title = window.title.trimmed();
    QList<AccessibleNode> best;
    int bestScore = -1;
    for (const AccessibleNode& candidate : windows) {
        int score = 0;
        if (!title.isEmpty()) {
            const std::optional<QString> name = reader.name(candidate.object);
            if (name && name->trimmed() == title) score += 2;
        }
        if (window.geometry) {
            const std::optional<QRect> extents = reader.extents(candidate.object);
            if (extents && *extents == *window.geometry) score += 2;
        }
        if (reader.timedOut()) return {};
        if (candidate.states & AccessibleState::active) score += 1;
        if (score > bestScore) {
            best.clear();
            bestScore = score;
        }
        if (score == bestScore) best.append(candidate);
    }
    return best;
}

std::optional<QString> nonBlank(const std::optional<QString>& text)
{
    if (!text) return std::nullopt;
    const QString trimmed = text->trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    return trimmed;
}

// A title or a name within its bound, cut after a whole character.
QString bounded(const QString& text)
{
    if (text.size() <= SourceHarvester::kMaxTitleLength) return text;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    characters.setPosition(SourceHarvester::kMaxTitleLength - 1);
    if (!characters.isAtBoundary()) characters.toPreviousBoundary();
    return text.left(std::max<qsizetype>(0, characters.position())) + u'\u2026';
}

bool isControl(QChar c)
{
    return c.category() == QChar::Other_Control;
}

// A window may name itself with line feeds, escapes and bells; a title or a name shown in one line
// holds none: each run of them reads as one space.
QString plain(const QString& text)
{
    if (std::none_of(text.begin(), text.end(), isControl)) return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isControl(text[i])) {
            out.append(text[i]);
        } else if (i == 0 || !isControl(text[i - 1])) {
            out.append(u' ');
        }
    }
    return out;
}

// A title or a name as kept: in one line, trimmed, within its bound; none when nothing is left.
std::optional<QString> kept(const std::optional<QString>& text)
{
    if (!text) return std::nullopt;
    const QString trimmed = plain(*text).trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    return bounded(trimmed);
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// A "%" that starts no escape stands for itself. Once an address holds one, a lenient parse takes
// every "%" in it for itself and encodes the valid escapes again; encoded beforehand, it leaves them.
QString strayPercentsEncoded(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool stray =
            text[i] == u'%' && !(i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2]));
        if (stray)
            out.append(QLatin1String("%25"));
        else
            out.append(text[i]);
    }
    return out;
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
    if (text.isEmpty() || text.size() > kMaxAddressLength) return std::nullopt;
    // A line feed or another control character is no part of an address; one that carries them
    // would be shown and opened as something other than what it reads.
    if (std::any_of(text.begin(), text.end(), isControl)) return std::nullopt;
    // Browsers hand the address over as they show it, with | { } ^ and the like bare in its query:
    // it is read leniently, and kept in the strict form, where those are percent-encoded. Brackets
    // too: outside a host an address may not hold them.
    QUrl url(strayPercentsEncoded(text), QUrl::TolerantMode);
    if (!url.isValid() || url.isRelative()) return std::nullopt;
    const auto strict = [](QString part) {
        return part.replace(u'[', QLatin1String("%5B")).replace(u']', QLatin1String("%5D"));
    };
    url.setPath(strict(url.path(QUrl::FullyEncoded)), QUrl::StrictMode);
    if (url.hasQuery()) url.setQuery(strict(url.query(QUrl::FullyEncoded)), QUrl::StrictMode);
    if (url.hasFragment()) url.setFragment(strict(url.fragment(QUrl::FullyEncoded)), QUrl::StrictMode);
    const QString encoded = url.toString(QUrl::FullyEncoded);
    if (encoded.size() > kMaxAddressLength) return std::nullopt;
    url = QUrl(encoded, QUrl::StrictMode);
    if (!url.isValid()) return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if ((scheme == u"http" || scheme == u"https") && !url.host().isEmpty()) return url;
    if (scheme == u"file" && !url.path().isEmpty()) return url;
    return std::nullopt;
}

SourceHarvester::Page SourceHarvester::readPage(AccessibilityReader& reader, const ActiveWindow& window,
                                                const QString& urlAttribute)
{
    Page page;
    if (!window.pid) return page;
    const std::optional<QList<AccessibleObject>> applications = reader.applications(kMaxApplications);
    if (!applications) return page;
    std::optional<AccessibleObject> application;
    for (const AccessibleObject& candidate : *applications) {
        if (reader.processID(candidate) == *window.pid) {
            application = candidate;
            break;
        }
        if (reader.timedOut()) return page;
    }
    // A browser that does not expose its tree is not on the bus at all.
    if (!application) return page;
    const std::optional<QList<AccessibleNode>> children = reader.children(*application, kMaxChildren);
    if (!children) return page;
    QList<AccessibleNode> windows;
    std::copy_if(children->begin(), children->end(), std::back_inserter(windows),
                 [](const AccessibleNode& n) { return (n.states & AccessibleState::showing) && !holdsNoPage(n.role); });
    // Windows alike in all the capture can tell (two windows of one page, one over the other) give no
    // page: a capture without an address is honest, one with another window's is not.
    std::optional<FoundPage> found;
    for (const AccessibleNode& candidate : likeliestWindows(reader, windows, window)) {
        std::optional<FoundPage> shown = showingPage(reader, {candidate}, urlAttribute, kMaxDepth);
        if (reader.timedOut()) return page;
        if (!shown) continue;
        if (found) return page;
        found = std::move(shown);
    }
    if (!found) return page;
    page.url = pageAddress(found->address);
    page.title = nonBlank(reader.name(found->document));
    return page;
}

SourceHarvester::PageReader SourceHarvester::pagesOver(ReaderFactory connect)
{
    return [connect = std::move(connect)](const ActiveWindow& window, const QString& urlAttribute,
                                          QDeadlineTimer deadline) {
        return runWithin<Page>(deadline,
                               [connect, window, urlAttribute, deadline] {
                                   const std::unique_ptr<AccessibilityReader> reader = connect(deadline);
                                   return reader ? readPage(*reader, window, urlAttribute) : Page{};
                               })
            .value_or(Page{});
    };
}

SourceHarvester::PageReader SourceHarvester::desktopPages()
{
    return pagesOver([](QDeadlineTimer deadline) -> std::unique_ptr<AccessibilityReader> {
        return AtspiAccessibilityReader::connect(deadline);
    });
}

SourceHarvester::Source SourceHarvester::harvest(SelectionReader& reader, QDeadlineTimer deadline)
{
    return harvest(reader.activeWindow(), deadline);
}

SourceHarvester::Source SourceHarvester::harvest(const std::optional<ActiveWindow>& window, QDeadlineTimer deadline)
{
    return harvest(window, DesktopEntries::applicationDirs(), desktopPages(), deadline);
}

SourceHarvester::Source SourceHarvester::harvest(const std::optional<ActiveWindow>& window,
                                                 const QStringList& applicationDirs, const PageReader& pages,
                                                 QDeadlineTimer deadline)
{
    Source source;
    if (!window) return source;
    const auto entry = DesktopEntries::forWindowClass(window->instanceName, window->className, applicationDirs,
                                                      QLocale::system().name());
    if (!entry) {
        // Without an entry the window class is the best name there is, and no id can be vouched for.
        source.app = kept(window->className);
        return source;
    }
    source.app = kept(entry->name);
    if (!source.app) source.app = kept(window->className);
    source.bundleID = entry->id;
    source.title = kept(browserTabTitle(entry->id, plain(window->title)));
    const std::optional<QString> attribute = addressAttribute(entry->id);
    if (!attribute || !pages || !window->pid || deadline.hasExpired()) return source;
    QElapsedTimer reading;
    reading.start();
    const Page page = pages(*window, *attribute, deadline);
    // How long a browser took to show its page: the figure that tells whether the bound holds it.
    qCDebug(Log::app, "The browser's page was read in %lld ms (%s)", reading.elapsed(),
            page.url                ? "an address"
            : deadline.hasExpired() ? "out of time"
                                    : "no address");
    source.url = page.url;
    if (!source.title) source.title = kept(page.title);
    return source;
}
