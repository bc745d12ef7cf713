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
