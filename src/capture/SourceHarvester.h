#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "platform/SelectionReader.h"

class AccessibilityReader;

// Where a capture came from: the application in front (its .desktop name and id, else its window
// class) and, for a known browser, its focused tab: the title from the window name and the address
// from the page's document on the accessibility bus, where the browser exposes it. Never fails and
// never holds a capture up for long: what cannot be learnt in time stays empty.
class SourceHarvester {
public:
    struct Source {
        std::optional<QString> app;
        std::optional<QString> bundleID;
        std::optional<QUrl> url;
        std::optional<QString> title;
    };
    // What the accessibility bus tells of a browser's focused tab.
    struct Page {
        std::optional<QUrl> url;
        std::optional<QString> title;
    };
    // Reads the focused tab of the browser window `window` (its process id given), whose documents
    // name their address `urlAttribute`, by `deadline`.
    using PageReader =
        std::function<Page(const ActiveWindow& window, const QString& urlAttribute, QDeadlineTimer deadline)>;

    // The whole harvest, the page's walk included, takes at most this long. A browser builds its
    // objects for a window the first time they are read: on two busy cores that first walk takes up to
    // a third of a second (later ones a few tens of milliseconds), and a capture waits for it. The bound
    // is only against a browser that does not answer at all.
    static constexpr int kBudgetMs = 3000;
    // How far a walk looks: applications on the bus, levels below a browser, children of an object.
    static constexpr int kMaxApplications = 256;
    static constexpr int kMaxDepth = 24;
    static constexpr int kMaxChildren = 64;
    // A title, and an application name, is cut to this many UTF-16 units, an ellipsis included.
    // Browsers show far less in a tab or a title bar, and Chromium itself keeps no more of a page's
    // title; without a bound, a page (or a window's class) could make every capture of it megabytes
    // large.
    static constexpr int kMaxTitleLength = 4096;
    // No address longer than this is kept, neither as the browser hands it over nor in its stored
    // (percent-encoded) form: far beyond any link a browser's address bar shows in full. It stays
    // below the 32,431 characters at which Chromium cuts an address on the accessibility bus without
    // a sign, so an address that may have been cut is never kept as the page's.
    static constexpr int kMaxAddressLength = 32000;

    SourceHarvester() = delete;

    // May wait on a browser until `deadline` (kBudgetMs from the call unless given): keep it off the main
    // thread where a browser can be in front. A deadline already past still names the application and
    // the tab title; only the page's address needs the browser.
    static Source harvest(SelectionReader& reader, QDeadlineTimer deadline = QDeadlineTimer(kBudgetMs));
    // The same, for a window already read; none gives an empty source.
    static Source harvest(const std::optional<ActiveWindow>& window,
                          QDeadlineTimer deadline = QDeadlineTimer(kBudgetMs));
    // Over the given desktop-entry folders and page reader (tests); without a page reader no address
    // is read.
    static Source harvest(const std::optional<ActiveWindow>& window, const QStringList& applicationDirs,
                          const PageReader& pages = {}, QDeadlineTimer deadline = QDeadlineTimer(kBudgetMs));

    // The tab title inside a browser's window name, for a desktop-file id of a known browser (exact
    // letter case); none for any other application or a blank title.
    static std::optional<QString> browserTabTitle(const QString& bundleID, const QString& windowName);
    // The name under which a known browser's documents hold their address; none for anything else.
    static std::optional<QString> addressAttribute(const QString& bundleID);

    // Finds the application of the window's process on the bus, tells which of its windows is that
    // window, walks from there to the document that is showing (the focused tab's page) within the
    // bounds above, and reads its address and name.
    static Page readPage(AccessibilityReader& reader, const ActiveWindow& window, const QString& urlAttribute);
    // Opens a reader of the accessibility bus for one read, by the deadline; none when there is no bus.
    using ReaderFactory = std::function<std::unique_ptr<AccessibilityReader>(QDeadlineTimer deadline)>;
    // Pages read over readers that `connect` opens, each read on a thread of its own that is never
    // waited on past its deadline: a browser that hangs (or a bus that never answers) holds no capture
    // up for longer.
    static PageReader pagesOver(ReaderFactory connect);
    // The same over the desktop's accessibility bus, a connection of its own for each read.
    static PageReader desktopPages();

    // A page address is kept only when it is absolute as written (untrimmed), free of control
    // characters, on the web (http, https with a host) or a local file, and within the bound above.
    // Characters a browser leaves bare but an address may not hold (| { } ^ [ ] and the like) are
    // percent-encoded, and so is a "%" that starts no escape; the escapes it holds are kept.
    static std::optional<QUrl> pageAddress(const QString& text);
};
