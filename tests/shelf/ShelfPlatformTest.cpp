#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "design/Symbols.h"
#include "shelf/AppIconCache.h"
#include "shelf/ShelfKeys.h"
#include "shelf/ShelfPlacement.h"

using Command = ShelfKeys::Command;

TEST(ShelfKeysTest, RoutesTheShelfKeysAndPassesTheRestOn)
{
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        Command command;
    } cases[] = {
        {Qt::Key_Return, Qt::NoModifier, Command::commit},
        {Qt::Key_Enter, Qt::KeypadModifier, Command::commit},
        {Qt::Key_Return, Qt::ShiftModifier, Command::commit},
        {Qt::Key_Return, Qt::ControlModifier, Command::activate},
        {Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier, Command::none},
        {Qt::Key_Tab, Qt::NoModifier, Command::flipLens},
        {Qt::Key_Backtab, Qt::ShiftModifier, Command::toFooter},
        {Qt::Key_Comma, Qt::ControlModifier, Command::settings},
        {Qt::Key_Comma, Qt::NoModifier, Command::none},
        {Qt::Key_Space, Qt::NoModifier, Command::none},  // typed, unless the actions row is open
        {Qt::Key_Down, Qt::AltModifier, Command::down},
        {Qt::Key_Up, Qt::NoModifier, Command::up},
        {Qt::Key_Escape, Qt::NoModifier, Command::escape},
        {Qt::Key_W, Qt::ControlModifier, Command::close},
        {Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier, Command::none},
        {Qt::Key_W, Qt::NoModifier, Command::none},
        {Qt::Key_K, Qt::ControlModifier, Command::toggleActions},
        {Qt::Key_P, Qt::ControlModifier, Command::pin},
        {Qt::Key_A, Qt::ControlModifier, Command::none},
        {Qt::Key_V, Qt::ControlModifier, Command::none},
        {Qt::Key_A, Qt::ControlModifier | Qt::AltModifier, Command::none},
        {Qt::Key_Menu, Qt::NoModifier, Command::contextMenu},
        {Qt::Key_F10, Qt::ShiftModifier, Command::contextMenu},
        {Qt::Key_F10, Qt::NoModifier, Command::none},
    };
    for (const auto& c : cases) EXPECT_EQ(ShelfKeys::route(c.key, c.mods), c.command) << c.key << " " << int(c.mods);
}

TEST(ShelfPlacementTest, HangsFromTheTrayOrThePointerHeldInsideTheScreen)
{
    const QRect screen(0, 0, 1280, 800), avail(0, 24, 1280, 776);
    const auto at = [&](std::optional<QRect> anchor, bool full = false) {
        return ShelfPlacement::topLeft({anchor, screen, avail, full});
    };
    EXPECT_EQ(at(QRect(1200, 0, 24, 24)), QPoint(872, 30));
    EXPECT_EQ(at(QRect(1000, 0, 24, 24)), QPoint(1012 + 40 - 380, 30));
    EXPECT_EQ(at(QRect(10, 0, 20, 24)), QPoint(8, 30));                   // pushed in from the left
    EXPECT_EQ(at(QRect(1000, 0, 24, 24), true), QPoint(672, 6));          // a full-screen window hides the tray
    EXPECT_EQ(at(QRect(1000, 780, 24, 20)), QPoint(672, 780 - 6 - 500));  // a bottom tray: above it
    EXPECT_EQ(at(QRect(1000, 500, 1, 1)), QPoint(660, 32));               // bottom half, held 8 inside the top
    EXPECT_EQ(at(std::nullopt), QPoint(1280 - 380 - 16, 32));
    EXPECT_EQ(ShelfPlacement::topLeft({QRect(10, 0, 1, 1), QRect(0, 0, 300, 800), QRect(0, 0, 300, 800)}).x(), -88);
}

namespace {

void write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray png(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

}  // namespace

// Icons come only from installed entries, decode within limits, and each id costs one lookup.
TEST(AppIconCacheTest, FindsInstalledIconsAndRemembersMisses)
{
    QTemporaryDir dir;
    const QString apps = dir.filePath("applications"), icons = dir.filePath("icons");
    write(apps + "/org.example.Good.desktop", "[Desktop Entry]\nName=Good\nIcon=good\n");
    write(apps + "/vendor/tool.desktop", "[Desktop Entry]\nIcon=" + dir.filePath("abs.png").toUtf8() + "\n");
    write(apps + "/broken.desktop", "[Desktop Entry]\nIcon=broken\n");
    write(apps + "/huge.desktop", "[Desktop Entry]\nIcon=huge\n");
    write(apps + "/escape.desktop", "[Desktop Entry]\nIcon=../../etc/x\n");
    write(icons + "/hicolor/48x48/apps/good.png", png(48, 48));
    write(dir.filePath("abs.png"), png(20, 10));
    write(icons + "/hicolor/32x32/apps/broken.png", "not a png");
    write(icons + "/hicolor/32x32/apps/huge.png", png(5000, 2));
    write(dir.filePath("applications/../secret.desktop"), "[Desktop Entry]\nIcon=good\n");

    AppIconCache cache({apps}, {icons}, {});
    EXPECT_EQ(cache.icon("org.example.Good").size(), QSize(32, 32));
    EXPECT_EQ(cache.icon("vendor-tool").size(), QSize(32, 32));
    for (const char* miss : {"broken", "huge", "escape", "missing", "../secret", ""})
        EXPECT_TRUE(cache.icon(miss).isNull()) << miss;
    const int lookups = cache.diskLookups();
    cache.icon("org.example.Good");
    cache.icon("missing");
    EXPECT_EQ(cache.diskLookups(), lookups);
}

TEST(ShelfSymbolsTest, EverySymbolTheShelfDrawsHasAnIcon)
{
    for (const char* name : {"magnifyingglass", "xmark.circle.fill", "trash", "trash.slash", "pin", "pin.fill",
                             "pin.slash", "note.text", "text.quote", "lock.fill", "lock.open.fill",
                             "arrow.uturn.backward", "plus", "gearshape", "power", "exclamationmark.triangle.fill"})
        EXPECT_FALSE(Symbols::tinted(name, Qt::black, 12).isNull()) << name;
}

namespace {

QByteArray svg(const QByteArray& inside, const QByteArray& prologue = {})
{
    return prologue +
           R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" )"
           R"(width="16" height="16">)" +
           inside + "</svg>";
}

}  // namespace

// Icons come from folders anyone may write to: a drawing that refers to another file (it could be a
// pipe) and entries or icons that are pipes or devices are misses, at once.
TEST(AppIconCacheTest, DrawingsThatReachOutAndFilesThatAreNoFilesAreMisses)
{
    QTemporaryDir dir;
    const QString apps = dir.filePath("applications"), icons = dir.filePath("icons");
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString iconDir = icons + "/hicolor/scalable/apps/";
    const QByteArray dataPng = "data:image/png;base64," + png(4, 4).toBase64();
    const struct {
        const char* name;
        QByteArray drawing;
        bool usable;
    } drawings[] = {
        {"plain", svg(R"(<defs><rect id="r" width="16" height="16" fill="red"/></defs><use xlink:href="#r"/>)"), true},
        {"inline", svg(R"(<image width="16" height="16" xlink:href=")" + dataPng + R"("/>)"), true},
        {"pipe", svg(R"(<image width="16" height="16" xlink:href=")" + fifo.toUtf8() + R"("/>)"), false},
        {"fileurl", svg(R"(<image width="16" height="16" href="file://)" + fifo.toUtf8() + R"("/>)"), false},
        {"web", svg(R"(<image width="16" height="16" xlink:href="https://example.com/a.png"/>)"), false},
        {"relative", svg(R"(<use xlink:href="other.svg#r"/>)"), false},
        {"entity", svg("<text>&x;</text>", R"(<!DOCTYPE svg [<!ENTITY x SYSTEM "/etc/passwd">]>)"), false},
        {"broken", svg("<rect").chopped(6), false},
        // An inline drawing is looked through like the icon itself.
        {"nested",
         svg(R"(<image width="16" height="16" xlink:href="data:image/svg+xml;base64,)" +
             svg(R"(<image width="16" height="16" xlink:href=")" + fifo.toUtf8() + R"("/>)").toBase64() + R"("/>)"),
         false},
        {"nestedclean",
         svg(R"(<image width="16" height="16" xlink:href="data:image/svg+xml;base64,)" +
             svg(R"(<rect width="16" height="16" fill="red"/>)").toBase64() + R"("/>)"),
         true},
    };
    for (const auto& d : drawings) {
        write(apps + "/" + d.name + ".desktop", "[Desktop Entry]\nIcon=" + QByteArray(d.name) + "\n");
        write(iconDir + d.name + ".svg", d.drawing);
    }
    // An entry that is a pipe, one whose icon is a pipe or /dev/zero, one that is a link to a pipe.
    ASSERT_EQ(::mkfifo(QFile::encodeName(apps + "/fifo.desktop").constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, apps + "/linked.desktop"));
    write(apps + "/pipeicon.desktop", "[Desktop Entry]\nIcon=" + fifo.toUtf8() + "\n");
    write(apps + "/zero.desktop", "[Desktop Entry]\nIcon=zero\n");
    ASSERT_TRUE(QDir().mkpath(icons + "/hicolor/32x32/apps"));
    ASSERT_TRUE(QFile::link("/dev/zero", icons + "/hicolor/32x32/apps/zero.png"));

    AppIconCache cache({apps}, {icons}, {});
    for (const auto& d : drawings) EXPECT_EQ(!cache.icon(d.name).isNull(), d.usable) << d.name;
    for (const char* miss : {"fifo", "linked", "pipeicon", "zero"}) EXPECT_TRUE(cache.icon(miss).isNull()) << miss;
}
