#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "capture/SourceHarvester.h"
#include "platform/DesktopEntries.h"

namespace {

TEST(SourceHarvester, BrowserTabTitlesFromWindowNames)
{
    struct Case {
        const char* id;
        QString windowName;
        std::optional<QString> title;
    };
    const Case cases[] = {
        {"firefox", "Release notes \u2014 Mozilla Firefox", "Release notes"},
        {"google-chrome", "Inbox - Mail - Google Chrome", "Inbox - Mail"},
        {"org.chromium.Chromium", "News - Chromium", "News"},
        {"org.gnome.Epiphany", "  A page  ", "A page"},
        {"google-chrome", "Google Chrome", std::nullopt},  // no page open
        {"firefox", "   \u2014 Mozilla Firefox", std::nullopt},
        {"Firefox", "Page \u2014 Mozilla Firefox", std::nullopt},  // ids match exactly
        {"org.gnome.TextEditor", "notes.txt", std::nullopt},       // not a browser
    };
    for (const Case& c : cases)
        EXPECT_EQ(SourceHarvester::browserTabTitle(QString::fromLatin1(c.id), c.windowName), c.title) << c.id;
}

class HarvestFromEntries : public ::testing::Test {
protected:
    void write(const QString& relative, const QByteArray& content)
    {
        const QString path = QDir(dir.path()).filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    SourceHarvester::Source harvest(const QString& instance, const QString& klass, const QString& title = {})
    {
        return SourceHarvester::harvest(ActiveWindow{1, instance, klass, title}, {dir.path()});
    }
    QTemporaryDir dir;
};

TEST_F(HarvestFromEntries, NameAndIdComeFromTheDesktopEntryOfTheWindowClass)
{
    write("firefox.desktop", "[Desktop Entry]\nName=Firefox\n[Desktop Action new]\nName=New Window\n");
    write("vendor/editor.desktop", "[Desktop Entry]\nName=Editor\nName[fr]=Editeur\nStartupWMClass=EditorMain\n");

    const auto browser = harvest("Navigator", "firefox", "Docs \u2014 Mozilla Firefox");
    EXPECT_EQ(browser.app, "Firefox") << "another group's Name is not the application's";
    EXPECT_EQ(browser.bundleID, "firefox");
    EXPECT_EQ(browser.title, "Docs");
    EXPECT_EQ(browser.url, std::nullopt);

    const auto editor = harvest("editor", "EditorMain", "a.txt");
    EXPECT_EQ(editor.bundleID, "vendor-editor");
    EXPECT_EQ(editor.title, std::nullopt) << "window names of other applications are no tab titles";
    EXPECT_EQ(DesktopEntries::forWindowClass({}, "EditorMain", {dir.path()}, "fr_CA")->name, "Editeur");

    const auto unknown = harvest("tool", "Tool");
    EXPECT_EQ(unknown.app, "Tool");
    EXPECT_EQ(unknown.bundleID, std::nullopt);
    EXPECT_EQ(SourceHarvester::harvest(std::nullopt).app, std::nullopt);
}

}  // namespace

namespace {

// The applications folder is writable by anything the user runs: a pipe named like an entry, a link
// to one or an endless entry must not hold a capture, and the entries around them still count.
TEST_F(HarvestFromEntries, PipesAndHugeEntriesNeitherBlockNorHideTheOthers)
{
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("Tool.desktop")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, dir.filePath("linked.desktop")));
    ASSERT_TRUE(QFile::link("/dev/zero", dir.filePath("zero.desktop")));
    write("big.desktop", "[Desktop Entry]\nName=Big\n" + QByteArray(2 * 1024 * 1024, '#') + "\nName=Late\n");
    write("lateentry.desktop", QByteArray(70 * 1024, '#') + "\n[Desktop Entry]\nName=Too late\nStartupWMClass=Late\n");
    write("editor.desktop", "[Desktop Entry]\nName=Editor\n");

    // An entry that cannot be read names nothing beyond its file name.
    EXPECT_EQ(harvest("tool", "Tool").app, "Tool");
    EXPECT_EQ(harvest("linked", "Linked").app, "Linked");
    EXPECT_EQ(harvest("zero", "Zero").app, "Zero");
    EXPECT_EQ(harvest("big", "big").app, "Big") << "the head of a huge entry is read";
    EXPECT_EQ(harvest("x", "Late").bundleID, std::nullopt) << "nothing past 64 KB is read";
    EXPECT_EQ(harvest("editor", "editor").app, "Editor");
}

}  // namespace

#include <QElapsedTimer>
#include <atomic>
#include <future>

#include "support/FakeAccessibilityReader.h"

namespace {

using Object = FakeAccessibilityReader::Object;
constexpr quint64 kShowing = AccessibleState::showing;
constexpr quint64 kActive = AccessibleState::showing | AccessibleState::active;

// A browser window on the bus as Firefox lays it out: application, frame, a tool bar, a panel holding
// a tab in the background and the showing one, each an internal frame around its document.
struct BrowserOnTheBus {
    explicit BrowserOnTheBus(const QString& address, const QString& documentName = QStringLiteral("Page title"))
    {
        bus.addApplication(":1.7", 99);  // another program
        const QString app = bus.addApplication(":1.9", kPid).path;
        const QString frame = bus.add(app, {AccessibleRole::frame, kActive});
        toolBar = bus.add(frame, {AccessibleRole::toolBar});
        bus.add(toolBar, {AccessibleRole::documentWeb, kShowing, "In a tool bar", {{"DocURL", "http://tool.test/"}}});
        const QString panel = bus.add(frame, {});
        const QString hidden = bus.add(panel, {0, 0});
        bus.add(hidden, {AccessibleRole::documentWeb, 0, "Background", {{"DocURL", "http://background.test/"}}});
        const QString shown = bus.add(panel, {});
        bus.add(shown, {AccessibleRole::documentWeb, kShowing, documentName, {{"DocURL", address}}});
    }
    static constexpr qint64 kPid = 4242;
    FakeAccessibilityReader bus;
    QString toolBar;
};

class HarvestFromABrowser : public HarvestFromEntries {
protected:
    void SetUp() override { write("firefox-esr.desktop", "[Desktop Entry]\nName=Firefox ESR\n"); }
    SourceHarvester::Source harvestFrom(FakeAccessibilityReader& bus, const QString& windowName,
                                        std::optional<QRect> geometry = {})
    {
        return SourceHarvester::harvest(
            ActiveWindow{BrowserOnTheBus::kPid, "Navigator", "firefox-esr", windowName, geometry}, {dir.path()},
            [&](const ActiveWindow& window, const QString& attribute, QDeadlineTimer) {
                return SourceHarvester::readPage(bus, window, attribute);
            });
    }
};

TEST_F(HarvestFromABrowser, AddressAndTitleRules)
{
    struct Case {
        QString address;
        QString windowName;
        QString documentName;
        std::optional<QString> url;
        std::optional<QString> title;
    };
    const QString brand = QStringLiteral("Mozilla Firefox");
    const Case cases[] = {
        {"http://127.0.0.1:8000/page.html", "Docs \u2014 Mozilla Firefox", "Docs", "http://127.0.0.1:8000/page.html",
         "Docs"},
        {"https://example.test/a?b=c#d", brand, "From the document", "https://example.test/a?b=c#d",
         "From the document"},  // no title in the window name
        {"file:///tmp/notes.html", brand, "  \n ", "file:///tmp/notes.html", std::nullopt},  // blank titles
        {"", "Docs \u2014 Mozilla Firefox", "Docs", std::nullopt, "Docs"},                   // no address
        {"page.html", brand, "Docs", std::nullopt, "Docs"},                                  // relative text
        {"\nhttp://example.test/", brand, "Docs", std::nullopt, "Docs"},                     // a leading line feed
        {"http://example.test/\u0007x", brand, "Docs", std::nullopt, "Docs"},                // a control character
        {"http://example.test/\u0085x", brand, "Docs", std::nullopt, "Docs"},
        {"javascript:alert(1)", brand, "Docs", std::nullopt, "Docs"},
        {"data:text/html,<p>x</p>", brand, "Docs", std::nullopt, "Docs"},
        {"about:blank", brand, "Docs", std::nullopt, "Docs"},
        {"http:///nohost", brand, "Docs", std::nullopt, "Docs"},
        // Left bare by browsers in font and search links: kept, percent-encoded.
        {"https://fonts.test/css?family=Roboto|Open+Sans&v={1}^[2]#a[b]", brand, "Docs",
         "https://fonts.test/css?family=Roboto%7COpen+Sans&v=%7B1%7D%5E%5B2%5D#a%5Bb%5D", "Docs"},
        {"http://[::1]:8000/a|b", brand, "Docs", "http://[::1]:8000/a%7Cb", "Docs"},
        {"https://example.test/?q=a|b\u0001", brand, "Docs", std::nullopt, "Docs"},
        {"javascript:alert('|')", brand, "Docs", std::nullopt, "Docs"},
        {"http://example.test/?q=" + QString(40 * 1024, u'a'), brand, "Docs", std::nullopt, "Docs"},
        {"http://example.test/?q=" + QString(11 * 1024, u'|'), brand, "Docs", std::nullopt, "Docs"},  // 33 KiB encoded
        // A "%" that starts no escape is encoded alone; the escapes around it stay as they are.
        {"http://example.test/gamma.html?x=%26y%3D1&p=5%", brand, "Docs",
         "http://example.test/gamma.html?x=%26y%3D1&p=5%25", "Docs"},
        {"http://example.test/gamma.html?x=%26y%3D1", brand, "Docs", "http://example.test/gamma.html?x=%26y%3D1",
         "Docs"},
        {"http://example.test/a?q=%7C|%", brand, "Docs", "http://example.test/a?q=%7C%7C%25", "Docs"},
        {"http://example.test/100%/a%20b.html", brand, "Docs", "http://example.test/100%25/a%20b.html", "Docs"},
        {"file:///tmp/100%/a%20b.html", brand, "Docs", "file:///tmp/100%25/a%20b.html", "Docs"},
        {"http://example.test/a?b=%2F&c=%4", brand, "Docs", "http://example.test/a?b=%2F&c=%254", "Docs"},
        {"http://example.test/x%3Fy%zz", brand, "Docs", "http://example.test/x%3Fy%25zz", "Docs"},
        {"http://example.test/?q=%25%%", brand, "Docs", "http://example.test/?q=%25%25%25", "Docs"},
        {"http://example.test/?q=a%7cb&r=%", brand, "Docs", "http://example.test/?q=a%7Cb&r=%25", "Docs"},
        {"http://example.test/#f%5Bx%", brand, "Docs", "http://example.test/#f%5Bx%25", "Docs"},
        {"http://ex%ample.test/a%20b", brand, "Docs", std::nullopt, "Docs"},  // no host holds a "%"
        // Chromium cuts an address on the bus at 32,431 characters: one that long may be cut.
        {"http://example.test/?q=" + QString(32431 - 23, u'a'), brand, "Docs", std::nullopt, "Docs"},
        {"http://example.test/?q=" + QString(32001 - 23, u'a'), brand, "Docs", std::nullopt, "Docs"},
        {"http://example.test/?q=" + QString(10700, u'|'), brand, "Docs", std::nullopt, "Docs"},  // 32,123 encoded
    };
    for (const Case& c : cases) {
        BrowserOnTheBus browser(c.address, c.documentName);
        const auto source = harvestFrom(browser.bus, c.windowName);
        EXPECT_EQ(source.app, "Firefox ESR");
        EXPECT_EQ(source.url ? std::optional(source.url->toString(QUrl::FullyEncoded)) : std::nullopt, c.url)
            << c.address.toStdString();
        EXPECT_EQ(source.title, c.title) << c.address.toStdString();
        EXPECT_FALSE(browser.bus.walked.contains(browser.toolBar)) << "tool bars hold no page";
    }

    // The longest address kept.
    const QString longest = "http://example.test/?q=" + QString(SourceHarvester::kMaxAddressLength - 23, u'a');
    BrowserOnTheBus atTheBound(longest);
    EXPECT_EQ(harvestFrom(atTheBound.bus, brand).url, QUrl(longest));

    // A title of megabytes is cut, after a whole character, with an ellipsis.
    const QString face = QStringLiteral("\U0001F600");
    BrowserOnTheBus huge("http://example.test/", face.repeated(512 * 1024));
    EXPECT_EQ(harvestFrom(huge.bus, brand).title, face.repeated(SourceHarvester::kMaxTitleLength / 2 - 1) + u'\u2026');
    EXPECT_EQ(harvestFrom(huge.bus, QString(1024 * 1024, u'x')).title->size(), SourceHarvester::kMaxTitleLength);

    // A desktop id that differs from a browser's only in letter case is no browser: nothing is asked.
    QTemporaryDir elsewhere;
    QFile entry(elsewhere.filePath("Firefox-ESR.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nName=Look-alike\n");
    entry.close();
    BrowserOnTheBus lookAlike("http://example.test/");
    const auto other = SourceHarvester::harvest(
        ActiveWindow{BrowserOnTheBus::kPid, "Firefox-ESR", "Firefox-ESR", "Docs \u2014 Mozilla Firefox"},
        {elsewhere.path()}, [&](const ActiveWindow& window, const QString& attribute, QDeadlineTimer) {
            return SourceHarvester::readPage(lookAlike.bus, window, attribute);
        });
    EXPECT_EQ(other.bundleID, "Firefox-ESR");
    EXPECT_EQ(other.url, std::nullopt);
    EXPECT_EQ(other.title, std::nullopt);
    EXPECT_EQ(lookAlike.bus.calls, 0);
}

TEST_F(HarvestFromABrowser, TheWalkEndsAtItsBoundsAndOnATimeout)
{
    // Out of time partway: what was learnt from the window stays, and nothing more is asked.
    for (int at = 1; at <= 8; ++at) {
        BrowserOnTheBus browser("http://example.test/");
        browser.bus.timeOutAtCall = at;
        const auto source = harvestFrom(browser.bus, "Docs \u2014 Mozilla Firefox");
        EXPECT_EQ(source.bundleID, "firefox-esr");
        EXPECT_EQ(source.title, "Docs");
        EXPECT_EQ(source.url, std::nullopt) << "timed out at call " << at;
        EXPECT_EQ(browser.bus.calls, at) << "calls went on after the timeout at " << at;
    }

    // A document just within the depth bound is found; one level further it is not, and the walk
    // never goes past the bound.
    for (const int levels : {SourceHarvester::kMaxDepth - 1, SourceHarvester::kMaxDepth + 10}) {
        FakeAccessibilityReader bus;
        QString node = bus.addApplication(":1.3", BrowserOnTheBus::kPid).path;
        for (int i = 0; i < levels; ++i) node = bus.add(node, {});
        bus.add(node, {AccessibleRole::documentFrame, kShowing, "Deep", {{"DocURL", "http://deep.test/"}}});
        const auto source = harvestFrom(bus, "Mozilla Firefox");
        EXPECT_EQ(source.url.has_value(), levels < SourceHarvester::kMaxDepth) << levels;
        EXPECT_LE(bus.walked.size(), SourceHarvester::kMaxDepth);
    }

    // Only the first children of a crowded object are looked at; the active window comes first, and a
    // document without an address is passed over.
    FakeAccessibilityReader bus;
    const QString app = bus.addApplication(":1.4", BrowserOnTheBus::kPid).path;
    const QString other = bus.add(app, {AccessibleRole::frame, kShowing});
    bus.add(other, {AccessibleRole::documentWeb, kShowing, "Other window", {{"DocURL", "http://other.test/"}}});
    const QString focused = bus.add(app, {AccessibleRole::frame, kActive});
    const QString crowded = bus.add(focused, {});
    for (int i = 0; i < SourceHarvester::kMaxChildren; ++i) bus.add(crowded, {0, 0});
    bus.add(crowded, {AccessibleRole::documentWeb, kShowing, "Too far", {{"DocURL", "http://far.test/"}}});
    bus.add(focused, {AccessibleRole::documentWeb, kShowing, "A browser's own panel", {}});  // no address
    bus.add(focused, {AccessibleRole::documentWeb, kShowing, "Focused", {{"DocURL", "http://focused.test/"}}});
    const auto source = harvestFrom(bus, "Mozilla Firefox");
    EXPECT_EQ(source.url, QUrl("http://focused.test/"));
    EXPECT_EQ(source.title, "Focused");

    // A browser that is not on the bus (its accessibility off) keeps name and title, and no page.
    FakeAccessibilityReader absent;
    absent.addApplication(":1.5", 7);
    const auto off = harvestFrom(absent, "Docs \u2014 Mozilla Firefox");
    EXPECT_EQ(off.app, "Firefox ESR");
    EXPECT_EQ(off.title, "Docs");
    EXPECT_EQ(off.url, std::nullopt);
}

// A browser builds its objects for a window the first time they are read, which takes a few hundred
// milliseconds on a busy machine: the capture waits for that. One that does not answer at all costs the
// capture its address only, and holds it up no longer than the bound.
TEST_F(HarvestFromABrowser, ASlowBrowserIsWaitedForAndAHungOneIsNot)
{
    const ActiveWindow window{BrowserOnTheBus::kPid, "Navigator", "firefox-esr", "Docs \u2014 Mozilla Firefox"};
    for (const qint64 answersAfter : {qint64(1000), qint64(SourceHarvester::kBudgetMs) + 1000}) {
        BrowserOnTheBus browser("http://example.test/");
        browser.bus.answersAfterMs = answersAfter;
        const auto source = SourceHarvester::harvest(
            window, {dir.path()}, [&](const ActiveWindow& w, const QString& attribute, QDeadlineTimer deadline) {
                browser.bus.deadline = deadline;
                return SourceHarvester::readPage(browser.bus, w, attribute);
            });
        EXPECT_EQ(source.url, answersAfter < SourceHarvester::kBudgetMs ? std::optional(QUrl("http://example.test/"))
                                                                        : std::nullopt)
            << "a browser answering after " << answersAfter << " ms";
        EXPECT_EQ(source.title, "Docs");
    }

    // The browser hangs while its page's address is read: the read is left behind at the bound.
    struct HungBrowser : FakeAccessibilityReader {
        std::shared_future<void> released;
        std::optional<QString> documentAttribute(const AccessibleObject& document, const QString& attribute) override
        {
            released.wait();
            return FakeAccessibilityReader::documentAttribute(document, attribute);
        }
    };
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    const auto asked = std::make_shared<std::atomic<bool>>(false);
    const auto hung = SourceHarvester::harvest(
        window, {dir.path()},
        SourceHarvester::pagesOver([released, asked](QDeadlineTimer) -> std::unique_ptr<AccessibilityReader> {
            auto browser = std::make_unique<HungBrowser>();
            static_cast<FakeAccessibilityReader&>(*browser) = BrowserOnTheBus("http://example.test/").bus;
            browser->released = released;
            *asked = true;
            return browser;
        }));
    EXPECT_TRUE(*asked);
    EXPECT_EQ(hung.url, std::nullopt);
    EXPECT_EQ(hung.app, "Firefox ESR");
    EXPECT_EQ(hung.title, "Docs");
    release.set_value();  // the read left behind ends
}

// A harvest for a text that already waited is bounded by the time its caller was promised: the page is
// read by that deadline, and once it is past the browser is not asked at all, the name and the title
// being known without it.
TEST_F(HarvestFromABrowser, AGivenDeadlineBoundsThePageRead)
{
    const ActiveWindow window{BrowserOnTheBus::kPid, "Navigator", "firefox-esr", "Docs \u2014 Mozilla Firefox"};
    BrowserOnTheBus browser("http://example.test/");
    std::optional<QDeadlineTimer> given;
    const auto pages = [&](const ActiveWindow& w, const QString& attribute, QDeadlineTimer deadline) {
        given = deadline;
        return SourceHarvester::readPage(browser.bus, w, attribute);
    };
    const QDeadlineTimer soon(SourceHarvester::kBudgetMs / 3);
    EXPECT_EQ(SourceHarvester::harvest(window, {dir.path()}, pages, soon).url, QUrl("http://example.test/"));
    ASSERT_TRUE(given);
    EXPECT_EQ(given->deadlineNSecs(), soon.deadlineNSecs());

    given.reset();
    const auto late = SourceHarvester::harvest(window, {dir.path()}, pages, QDeadlineTimer(0));
    EXPECT_FALSE(given) << "the browser was asked past the deadline";
    EXPECT_EQ(late.url, std::nullopt);
    EXPECT_EQ(late.app, "Firefox ESR");
    EXPECT_EQ(late.title, "Docs");
}

// Two windows of one browser as the bus shows them while the hot key's grab holds the keyboard:
// neither marked active. The window captured from is told by its name or by its place; windows alike
// in both give no address rather than another window's.
TEST_F(HarvestFromABrowser, ThePageIsTheOneOfTheWindowCapturedFrom)
{
    struct Window {
        QString name;
        QRect place;
        QString address;
    };
    const auto browserWith = [](const QList<Window>& windows) {
        FakeAccessibilityReader bus;
        const QString app = bus.addApplication(":1.9", BrowserOnTheBus::kPid).path;
        for (const Window& w : windows) {
            const QString frame = bus.add(app, {AccessibleRole::frame, kShowing, w.name, {}, w.place});
            bus.add(frame, {AccessibleRole::documentWeb, kShowing, "Page", {{"DocURL", w.address}}});
        }
        return bus;
    };
    const auto address = [](const SourceHarvester::Source& source) {
        return source.url ? source.url->toString() : QStringLiteral("none");
    };
    const QRect left(1, 60, 620, 700), right(641, 60, 620, 700);
    const QString alpha = QStringLiteral("Alpha \u2014 Mozilla Firefox"),
                  beta = QStringLiteral("Beta \u2014 Mozilla Firefox");
    // Chromium's bubbles are windows of their own, unnamed and without a page.
    FakeAccessibilityReader two = browserWith(
        {{alpha, left, "http://alpha.test/"}, {"", QRect(67, 65, 328, 88), ""}, {beta, right, "http://beta.test/"}});
    const QString renamed = "Renamed since";
    const QList<std::tuple<QString, std::optional<QRect>, QString>> picks{
        {beta, right, "http://beta.test/"},    {alpha, left, "http://alpha.test/"},   {beta, {}, "http://beta.test/"},
        {renamed, right, "http://beta.test/"}, {renamed, left, "http://alpha.test/"}, {renamed, {}, "none"}};
    for (const auto& [name, place, expected] : picks)
        EXPECT_EQ(address(harvestFrom(two, name, place)), expected) << name.toStdString() << " " << place.has_value();

    // One over the other on the same page title: no address, and the title from the window name.
    FakeAccessibilityReader alike = browserWith({{beta, left, "http://one.test/"}, {beta, left, "http://two.test/"}});
    const auto either = harvestFrom(alike, beta, left);
    EXPECT_EQ(address(either), "none");
    EXPECT_EQ(either.title, "Beta");
    // Where the browser still marks the focused one, that one is taken.
    alike.objects[alike.objects[FakeAccessibilityReader::path(":1.9")].children[1]].states = kActive;
    EXPECT_EQ(address(harvestFrom(alike, beta, left)), "http://two.test/");
}

// The desktop's own bus: without one (no accessibility bus in the test's session) the page is empty
// at once, and a browser window is still named.
TEST_F(HarvestFromABrowser, WithoutAnAccessibilityBusNothingWaits)
{
    QElapsedTimer elapsed;
    elapsed.start();
    const auto page =
        SourceHarvester::desktopPages()(ActiveWindow{BrowserOnTheBus::kPid}, "DocURL", QDeadlineTimer(5000));
    EXPECT_EQ(page.url, std::nullopt);
    EXPECT_LT(elapsed.elapsed(), 4000) << "hung on a bus that is not there";
}

}  // namespace

namespace {

// A window's name and class, and a page's name, hold what their owner put there: line feeds, escapes
// and bells are no part of a title or a name shown in one line.
TEST_F(HarvestFromABrowser, TitlesAndNamesAreOneLineOfPlainText)
{
    struct Case {
        QString windowName;
        QString documentName;
        std::optional<QString> title;
    };
    const Case cases[] = {
        {"Line one\nLine two \u2014 Mozilla Firefox", "Docs", "Line one Line two"},
        {"\u001b[31mRed\u001b[0m\r\n \u2014 Mozilla Firefox", "Docs", "[31mRed [0m"},
        {"Bell\u0007\u0007\tTab \u2014 Mozilla Firefox", "Docs", "Bell Tab"},
        {"\u0085Next\u009b\u007f \u2014 Mozilla Firefox", "Docs", "Next"},
        {QStringLiteral("\u007f\u0000 \u2014 Mozilla Firefox"), QStringLiteral("Doc\nname\u0000"),
         "Doc name"},  // nothing in the window name
        {"Mozilla Firefox", "\u0001\u0002", std::nullopt},
    };
    for (const Case& c : cases) {
        BrowserOnTheBus browser("http://example.test/", c.documentName);
        EXPECT_EQ(harvestFrom(browser.bus, c.windowName).title, c.title) << c.windowName.toStdString();
    }

    // A window's class names the application where no entry does: in one line, and within the
    // title's bound.
    EXPECT_EQ(harvest("tool", "Tool\nName\u001b\u0007").app, "Tool Name");
    EXPECT_EQ(harvest("tool", "\r\n").app, std::nullopt);
    const auto huge = harvest("tool", QString(64 * 1024, u'T'));
    EXPECT_EQ(huge.app, QString(SourceHarvester::kMaxTitleLength - 1, u'T') + u'\u2026');
}

// An object's place as the bus tells it: sizes that would carry its edge past the largest coordinate
// give no place, as empty or negative sizes do.
TEST(AccessibleExtents, PlacesThatCannotBeHeldGiveNone)
{
    constexpr int most = std::numeric_limits<int>::max(), least = std::numeric_limits<int>::min();
    struct Case {
        int x, y, width, height;
        std::optional<QRect> place;
    };
    const Case cases[] = {
        {1, 60, 620, 700, QRect(1, 60, 620, 700)},
        {most - 1, 0, 1, 1, QRect(most - 1, 0, 1, 1)},
        {most, 0, 1, 1, std::nullopt},
        {0, most - 10, 1, 10, QRect(0, most - 10, 1, 10)},
        {0, most - 9, 1, 10, std::nullopt},
        {10, 10, most, 1, std::nullopt},
        {10, 10, 1, most, std::nullopt},
        {least, least, most, most, QRect(least, least, most, most)},
        {0, 0, -5, 10, std::nullopt},
        {0, 0, 10, least, std::nullopt},
        {0, 0, 0, 10, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AccessibilityReader::place(c.x, c.y, c.width, c.height), c.place)
            << c.x << " " << c.y << " " << c.width << " " << c.height;
}

}  // namespace
