#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "platform/BoundedFile.h"
#include "platform/OwnedSelections.h"
#include "platform/StartupActivation.h"

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

std::optional<BoundedFile::Failure> failureOf(const std::variant<QByteArray, BoundedFile::Refused>& read)
{
    if (const auto* refused = std::get_if<BoundedFile::Refused>(&read)) return refused->failure;
    return std::nullopt;
}

// Anything that is not a regular file is refused before it is read, whichever way the path leads
// to it; if any of these blocked, the test would hang instead of failing.
TEST(BoundedFileTest, PipesDevicesFoldersAndLinksToThemAreRefusedAtOnce)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("entry.desktop");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, dir.filePath("link.desktop")));
    ASSERT_TRUE(QFile::link("/dev/zero", dir.filePath("zero.png")));
    ASSERT_TRUE(QFile::link(dir.filePath("gone"), dir.filePath("dangling.svg")));

    using F = BoundedFile::Failure;
    const struct {
        QString path;
        F failure;
    } cases[] = {
        {fifo, F::NotRegular},
        {dir.filePath("link.desktop"), F::NotRegular},
        {"/dev/zero", F::NotRegular},
        {dir.filePath("zero.png"), F::NotRegular},
        {dir.path(), F::Folder},
        {dir.filePath("dangling.svg"), F::Missing},
        {dir.filePath("missing"), F::Missing},
        {QString(), F::Missing},
    };
    for (const auto& c : cases) {
        for (auto overflow : {BoundedFile::Overflow::Refuse, BoundedFile::Overflow::Truncate})
            EXPECT_EQ(failureOf(BoundedFile::read(c.path, 64 * 1024, overflow)), c.failure) << c.path.toStdString();
    }
}

// Files that claim no size (/proc) or grow past what they claimed are still read only to the cap.
TEST(BoundedFileTest, ReadsStopAtTheCapWhateverTheFileClaims)
{
    QTemporaryDir dir;
    const QString big = dir.filePath("big.desktop");
    writeFile(big, "[Desktop Entry]\nName=Big\n" + QByteArray(200 * 1024, 'x'));

    EXPECT_EQ(failureOf(BoundedFile::read(big, 64 * 1024)), BoundedFile::Failure::TooLarge);
    const auto head = BoundedFile::read(big, 64 * 1024, BoundedFile::Overflow::Truncate);
    ASSERT_TRUE(std::holds_alternative<QByteArray>(head));
    EXPECT_EQ(std::get<QByteArray>(head).size(), 64 * 1024);
    EXPECT_TRUE(std::get<QByteArray>(head).startsWith("[Desktop Entry]\nName=Big\n"));

    const auto exact = BoundedFile::read(big, 200 * 1024 + 25);
    ASSERT_TRUE(std::holds_alternative<QByteArray>(exact)) << "a file exactly at the cap is whole";
    EXPECT_EQ(std::get<QByteArray>(exact).size(), 200 * 1024 + 25);

    // /proc files report a size of 0 but have more to give.
    const auto status = BoundedFile::read("/proc/self/status", 16);
    EXPECT_EQ(failureOf(status), BoundedFile::Failure::TooLarge);
    const auto statusHead = BoundedFile::read("/proc/self/status", 16, BoundedFile::Overflow::Truncate);
    ASSERT_TRUE(std::holds_alternative<QByteArray>(statusHead));
    EXPECT_EQ(std::get<QByteArray>(statusHead).size(), 16);
    EXPECT_TRUE(std::get<QByteArray>(statusHead).startsWith("Name:\t"));

    // Piecewise reads share the cap and notice the overflow.
    auto opened = BoundedFile::open(big, 100);
    ASSERT_TRUE(std::holds_alternative<BoundedFile>(opened));
    auto& file = std::get<BoundedFile>(opened);
    EXPECT_EQ(file.readSome(60).size(), 60);
    EXPECT_FALSE(file.overflowed());
    EXPECT_EQ(file.readSome(1000).size(), 40);
    EXPECT_TRUE(file.overflowed());
    EXPECT_TRUE(file.readSome(10).isEmpty());
}

TEST(StartupIdTest, LongOrControlCharacterIdsAreDropped)
{
    const QString usual = "openbox-1234-host-tarnwick-0_TIME5678";
    EXPECT_EQ(StartupActivation::acceptedId(usual), usual);
    EXPECT_EQ(StartupActivation::acceptedId(QString(1024, u'a')).size(), 1024);
    EXPECT_EQ(StartupActivation::acceptedId(QString(1025, u'a')), QString());
    EXPECT_EQ(StartupActivation::acceptedId(QString(20'000'000, u'a')), QString());
    // 512 characters of two bytes each are 1,024 bytes; one more is over.
    EXPECT_EQ(StartupActivation::acceptedId(QString(512, u'\u00e9')).size(), 512);
    EXPECT_EQ(StartupActivation::acceptedId(QString(513, u'\u00e9')), QString());
    const QStringList bad = {usual + "\n", QString("a") + QChar(0) + "b", "id\u001b[0m", "a\u202eb", "\u0085"};
    for (const QString& id : bad) EXPECT_EQ(StartupActivation::acceptedId(id), QString()) << id.toStdString();
    EXPECT_EQ(StartupActivation::timestamp(StartupActivation::acceptedId(usual + "\n")), 0u);
}

}  // namespace

namespace {

// What the editor puts on a selection differs in line breaks, spaces and picture characters from the
// note's stored text; a piece must still be recognised, and nothing else taken for one.
TEST(OwnedSelectionsTest, ASelectionIsRecognisedAsPartOfTheNoteItCameFrom)
{
    const QString note = "Bank PIN 4711\nDoor code\u00a0998\n\uFFFCpicture caption";
    EXPECT_TRUE(OwnedSelections::isPartOf("PIN 4711", note));
    EXPECT_TRUE(OwnedSelections::isPartOf("4711\u2029Door code 998", note));
    EXPECT_TRUE(OwnedSelections::isPartOf("4711\r\nDoor", note));
    EXPECT_TRUE(OwnedSelections::isPartOf("998\n\uFFFCpicture", note));
    for (const QString& other : {QString("4712"), QString(), QString(" \n "), QString("PIN  4711")})
        EXPECT_FALSE(OwnedSelections::isPartOf(other, note)) << other.toStdString();
    EXPECT_EQ(OwnedSelections::releaseTextFrom(note), 0) << "nothing is given up that is not held";
}

// A selection is traced to the note whose view had the focus when it was set, whatever its text: so a
// lock can take back a copy that no longer matches the note's words.
TEST(OwnedSelectionsTest, EachSelectionIsTracedToTheNoteItWasTakenFrom)
{
    OwnedSelections::track();
    OwnedSelections::track();  // once is enough; twice does no harm
    QWidget noteView;
    const QUuid id = QUuid::createUuid();
    noteView.setProperty(OwnedSelections::noteProperty, id);
    auto* editor = new QLineEdit("secret words", &noteView);
    QWidget settings;
    auto* field = new QLineEdit(&settings);

    noteView.show();
    noteView.activateWindow();
    editor->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&noteView));
    QGuiApplication::clipboard()->setText("text since edited away", QClipboard::Clipboard);
    EXPECT_EQ(OwnedSelections::sourceOf(QClipboard::Clipboard), id);

    settings.show();
    settings.activateWindow();
    field->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&settings));
    QGuiApplication::clipboard()->setText("from elsewhere", QClipboard::Clipboard);
    EXPECT_EQ(OwnedSelections::sourceOf(QClipboard::Clipboard), std::nullopt);
    EXPECT_EQ(OwnedSelections::releaseFromNote(id), 0);
    EXPECT_EQ(QGuiApplication::clipboard()->text(QClipboard::Clipboard), "from elsewhere");
}

}  // namespace
