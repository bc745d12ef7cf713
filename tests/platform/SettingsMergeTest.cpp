// settings.json edited by another process while the application runs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "platform/Settings.h"
#include "support/TestEnvironment.h"

namespace {

using tarnwick::test::LogCapture;
using tarnwick::test::readFile;
using tarnwick::test::writeFile;

class SettingsMerge : public ::testing::Test {
protected:
    QJsonObject onDisk() const { return QJsonDocument::fromJson(readFile(path)).object(); }
    // What a person or script writes: typed entries, or plain values.
    void writeOutside(const QJsonObject& root) { writeFile(path, QJsonDocument(root).toJson()); }
    static QJsonObject typed(const char* type, const QJsonValue& value) { return {{"type", type}, {"value", value}}; }
    QStringList toldKeys(const QSignalSpy& spy) const
    {
        QStringList keys;
        for (const auto& args : spy) keys << args.at(0).toString();
        keys.sort();
        return keys;
    }

    QTemporaryDir dir;
    QString path = dir.filePath("settings.json");
};

TEST_F(SettingsMerge, OutsideChangeIsAppliedToldAndKeptByTheNextWrite)
{
    Settings s(std::make_unique<FileSettingsBackend>(path));
    s.setValue("general.showDockIcon", true);
    QSignalSpy told(&s, &Settings::valueChanged);

    QJsonObject root = onDisk();
    root["test.addedByHand"] = typed("string", "kept");
    root["mcp.enabled"] = true;  // a plain value, as typed by hand
    root.remove("general.showDockIcon");
    writeOutside(root);
    // The watcher picks it up by itself.
    ASSERT_TRUE(QTest::qWaitFor([&] { return told.count() == 3; }, 5000)) << told.count();
    EXPECT_EQ(toldKeys(told), (QStringList{"general.showDockIcon", "mcp.enabled", "test.addedByHand"}));
    EXPECT_EQ(s.stringValue("test.addedByHand"), "kept");
    EXPECT_EQ(s.boolIfStored("mcp.enabled"), true);
    EXPECT_FALSE(s.contains("general.showDockIcon"));

    s.setValue("notes.floatOnTop", false);
    const QJsonObject after = onDisk();
    EXPECT_EQ(after["test.addedByHand"], typed("string", "kept"));
    EXPECT_EQ(after["mcp.enabled"], typed("bool", true));
    EXPECT_FALSE(after.contains("general.showDockIcon"));
    EXPECT_EQ(after["notes.floatOnTop"], typed("bool", false));
}

TEST_F(SettingsMerge, SameKeyChangedOnBothSidesGoesToTheLaterWrite)
{
    Settings s(std::make_unique<FileSettingsBackend>(path));
    s.setValue("k", "ours");
    QJsonObject root = onDisk();
    root["k"] = typed("string", "theirs");
    root["other"] = typed("int", "4");
    writeOutside(root);

    // Written here after the outside write, before it was read: ours wins, theirs stays for "other".
    s.setValue("k", "ours again");
    EXPECT_EQ(onDisk()["k"], typed("string", "ours again"));
    EXPECT_EQ(s.intValue("other"), 4);
    EXPECT_EQ(onDisk()["other"], typed("int", "4"));

    // Written outside later: theirs wins.
    root = onDisk();
    root["k"] = typed("string", "theirs later");
    writeOutside(root);
    s.mergeOutsideChanges();
    EXPECT_EQ(s.stringValue("k"), "theirs later");
}

TEST_F(SettingsMerge, UnreadableFileIsLeftAloneReportedOnceAndWrittenWhenReadableAgain)
{
    Settings s(std::make_unique<FileSettingsBackend>(path));
    s.setValue("a", 1);
    LogCapture log;
    writeFile(path, "{ half typed");
    s.mergeOutsideChanges();
    s.mergeOutsideChanges();
    s.setValue("b", 2);
    EXPECT_EQ(readFile(path), "{ half typed");
    EXPECT_FALSE(s.lastWriteSucceeded());
    EXPECT_EQ(s.intValue("b"), 2);
    EXPECT_EQ(log.count("Settings file could not be read"), 1) << log.lines().join("\n").toStdString();

    writeOutside({{"a", typed("int", "1")}, {"c", typed("int", "3")}});
    s.mergeOutsideChanges();
    EXPECT_EQ(s.intValue("c"), 3);
    const QJsonObject after = onDisk();
    EXPECT_EQ(after["b"], typed("int", "2"));
    EXPECT_EQ(after["c"], typed("int", "3"));
    EXPECT_TRUE(s.lastWriteSucceeded());
}

// Another process writes the file after the values were read for a write and before the new file
// takes its place: before the file is looked at again, or after (just before the swap). Both changes
// are kept. A file that keeps changing on every try still ends with the change made here, and the write
// does not go on forever.
TEST_F(SettingsMerge, AWriteFromOutsideDuringAWriteIsMergedAgain)
{
    using Step = FileSettingsBackend::WriteStep;
    struct Case {
        const char* name;
        Step step;
        int racedTries;   // how many of the write's tries another process writes into
        int keptOutside;  // how many of its keys must survive
    };
    const Case cases[] = {
        {"before the look, once", Step::written, 1, 1},
        {"after the look, once", Step::checked, 1, 1},
        {"before the look, three times", Step::written, 3, 3},
        {"after the look, three times", Step::checked, 3, 3},
        {"before the look, on every try", Step::written, 1000, 9},
        {"after the look, on every try", Step::checked, 1000, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path);
        auto owned = std::make_unique<FileSettingsBackend>(path);
        FileSettingsBackend* backend = owned.get();
        Settings s(std::move(owned));
        s.setValue("general.showDockIcon", true);
        int raced = 0;
        backend->setWriteHook([&](Step step) {
            if (step != c.step || raced >= c.racedTries) return;
            QJsonObject root = onDisk();
            root[QStringLiteral("test.outside%1").arg(raced++)] = typed("int", "7");
            writeOutside(root);
        });
        QSignalSpy told(&s, &Settings::valueChanged);
        s.setValue("general.showDockIcon", false);
        backend->setWriteHook({});

        EXPECT_TRUE(s.lastWriteSucceeded());
        const QJsonObject after = onDisk();
        EXPECT_EQ(after["general.showDockIcon"], typed("bool", false)) << "the change made here was lost";
        EXPECT_EQ(s.boolIfStored("general.showDockIcon"), false);
        for (int i = 0; i < c.keptOutside; ++i) {
            const QString key = QStringLiteral("test.outside%1").arg(i);
            EXPECT_EQ(after[key], typed("int", "7")) << key.toStdString() << " was lost";
            EXPECT_EQ(s.intValue(key), 7) << key.toStdString();
        }
        EXPECT_EQ(told.count(), 1 + c.keptOutside);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"settings.json"}) << "a temporary file was left";
    }
}

// An entry this release cannot read, written from outside while a write is under way (its file swapped
// out by ours), is written back by the next write rather than lost.
TEST_F(SettingsMerge, AnUnreadableEntryWrittenDuringAWriteIsKept)
{
    using Step = FileSettingsBackend::WriteStep;
    auto owned = std::make_unique<FileSettingsBackend>(path);
    FileSettingsBackend* backend = owned.get();
    Settings s(std::move(owned));
    s.setValue("general.showDockIcon", true);
    bool raced = false;
    backend->setWriteHook([&](Step step) {
        if (step != Step::checked || std::exchange(raced, true)) return;
        QJsonObject root = onDisk();
        root["test.later"] = typed("colour", "#fff");
        root["test.list"] = QJsonArray{"a", "b"};
        writeOutside(root);
    });
    s.setValue("general.showDockIcon", false);
    backend->setWriteHook({});
    ASSERT_TRUE(raced);
    const QJsonObject after = onDisk();
    EXPECT_EQ(after["general.showDockIcon"], typed("bool", false));
    EXPECT_EQ(after["test.later"], typed("colour", "#fff"));
    EXPECT_EQ(s.stringListValue("test.list"), (QStringList{"a", "b"}));
}

// A pipe or a folder put in the file's place while a write is under way (after its last look) is left
// there, whole: the write's swap brings it back, and the values wait in memory.
TEST_F(SettingsMerge, APipeOrFolderPutInPlaceDuringAWriteStays)
{
    using Step = FileSettingsBackend::WriteStep;
    for (const bool folder : {false, true}) {
        SCOPED_TRACE(folder ? "a folder" : "a pipe");
        QFile::remove(path);
        auto owned = std::make_unique<FileSettingsBackend>(path);
        FileSettingsBackend* backend = owned.get();
        Settings s(std::move(owned));
        s.setValue("general.showDockIcon", true);
        const QString aside = path + ".new";
        backend->setWriteHook([&](Step step) {
            if (step != Step::checked || QFileInfo(path).isFile() == false) return;
            const QByteArray name = QFile::encodeName(aside);
            ASSERT_EQ(folder ? ::mkdir(name.constData(), 0700) : ::mkfifo(name.constData(), 0600), 0);
            // A folder cannot be renamed over a file: the file goes first.
            if (folder) QFile::remove(path);
            ASSERT_EQ(::rename(name.constData(), QFile::encodeName(path).constData()), 0);
        });
        s.setValue("general.showDockIcon", false);
        backend->setWriteHook({});
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_TRUE(folder ? S_ISDIR(st.st_mode) : S_ISFIFO(st.st_mode)) << "it was replaced";
        EXPECT_FALSE(s.lastWriteSucceeded());
        EXPECT_EQ(s.boolIfStored("general.showDockIcon"), false);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{}) << "a temporary file was left";
        QFile::remove(path);
        QDir(path).removeRecursively();
    }
}

// The file reached through a link (a folder of dotfiles) is written; the link stays.
TEST_F(SettingsMerge, ALinkedFileIsWrittenThroughTheLink)
{
    const QString real = dir.filePath("dotfiles-settings.json");
    writeFile(real, "{}");
    ASSERT_TRUE(QFile::link(real, path));
    Settings s(std::make_unique<FileSettingsBackend>(path));
    s.setValue("k", 1);
    EXPECT_EQ(QFileInfo(path).symLinkTarget(), real);
    EXPECT_EQ(QJsonDocument::fromJson(readFile(real)).object()["k"], typed("int", "1"));
}

// A link to a file not made yet (dotfiles set up before the first run) makes that file and stays a link,
// also through a relative link or a chain of them; a link that leads nowhere (a loop, or into a folder
// that is not there) is kept as it is, and the values live in memory.
TEST_F(SettingsMerge, ALinkToAFileNotMadeYetMakesItAndStaysALink)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("dotfiles"));
    const QString real = dir.filePath("dotfiles/tarnwick.json");
    auto link = [](const QString& target, const QString& at) {
        return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0;
    };
    const struct {
        const char* name;
        QString linkTo;  // what settings.json points at
        QString hop;     // a link in between, when not empty
    } cases[] = {
        {"absolute", real, {}},
        {"relative", "dotfiles/tarnwick.json", {}},
        {"chain", dir.filePath("hop.json"), real},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(real);
        QFile::remove(path);
        QFile::remove(dir.filePath("hop.json"));
        if (!c.hop.isEmpty()) {
            ASSERT_TRUE(link(c.hop, dir.filePath("hop.json")));
        }
        ASSERT_TRUE(link(c.linkTo, path));
        Settings s(std::make_unique<FileSettingsBackend>(path));
        s.setValue("k", 1);
        s.setValue("k", 2);
        EXPECT_TRUE(s.lastWriteSucceeded());
        EXPECT_TRUE(QFileInfo(path).isSymLink()) << "the link was replaced";
        EXPECT_EQ(QFileInfo(path).canonicalFilePath(), QFileInfo(real).canonicalFilePath());
        EXPECT_EQ(QJsonDocument::fromJson(readFile(real)).object()["k"], typed("int", "2"));
        EXPECT_EQ(QFileInfo(real).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
        EXPECT_EQ(Settings(std::make_unique<FileSettingsBackend>(path)).intValue("k"), 2);
    }
    for (const QString& nowhere : {path, dir.filePath("missing-folder/tarnwick.json")}) {
        SCOPED_TRACE(nowhere.toStdString());
        QFile::remove(path);
        ASSERT_TRUE(link(nowhere, path));  // the first links to itself
        LogCapture log;
        Settings s(std::make_unique<FileSettingsBackend>(path));
        s.setValue("k", 3);
        EXPECT_FALSE(s.lastWriteSucceeded());
        EXPECT_EQ(s.intValue("k"), 3);
        EXPECT_EQ(QFileInfo(path).symLinkTarget(), nowhere) << "the link was replaced";
        EXPECT_EQ(log.count("Settings file could not be written"), 1) << log.lines().join("\n").toStdString();
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing-folder")));
    }
}

// Something other than a settings file in its place (a pipe, a link to a device, a file of many MB) is
// never waited on, never read whole and never replaced, at launch or while running; the values live in
// memory meanwhile.
TEST_F(SettingsMerge, WhatIsNoSettingsFileIsNeitherReadWholeNorReplaced)
{
    auto isFifo = [](const QString& p) {
        struct stat st {};
        return ::lstat(QFile::encodeName(p).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
    };
    {
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        LogCapture log;
        Settings s(std::make_unique<FileSettingsBackend>(path));  // at launch: would block in open()
        s.setValue("a", 1);
        EXPECT_EQ(s.intValue("a"), 1);
        EXPECT_FALSE(s.lastWriteSucceeded());
        EXPECT_TRUE(isFifo(path));
        EXPECT_EQ(log.count("left as it is: it is not a regular file"), 1) << log.lines().join("\n").toStdString();
        ASSERT_TRUE(QFile::remove(path));
    }
    {
        Settings s(std::make_unique<FileSettingsBackend>(path));  // while running
        s.setValue("a", 1);
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        s.mergeOutsideChanges();
        s.setValue("b", 2);
        EXPECT_TRUE(isFifo(path));
        EXPECT_EQ(s.intValue("b"), 2);
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(QFile::link("/dev/zero", path));
        s.setValue("c", 3);  // would read until memory runs out
        EXPECT_EQ(QFileInfo(path).symLinkTarget(), "/dev/zero");
        ASSERT_TRUE(QFile::remove(path));
    }
    {
        // Larger than the cap, though valid: left untouched (not even moved aside), and not written over.
        QJsonObject big;
        big["filler"] = typed("string", QString(FileSettingsBackend::maxFileBytes, u'x'));
        writeOutside(big);
        const QByteArray before = readFile(path);
        LogCapture log;
        Settings s(std::make_unique<FileSettingsBackend>(path));
        EXPECT_FALSE(s.contains("filler"));
        s.setValue("a", 1);
        EXPECT_EQ(readFile(path), before);
        EXPECT_TRUE(QDir(dir.path()).entryList({"settings.json.corrupt-*"}).isEmpty());
        EXPECT_EQ(log.count("left as it is: it is larger than 1 MiB"), 1) << log.lines().join("\n").toStdString();
    }
}

}  // namespace

namespace {
// A file that stops taking writes and is read back as it was last written.
class StuckBackend : public SettingsBackend {
public:
    QVariantMap load() override { return file; }
    bool store(const QVariantMap& values) override
    {
        if (!writable) return false;
        file = values;
        return true;
    }
    QVariantMap file;
    bool writable = true;
};
}  // namespace

// While the file cannot be written every change lives on in memory, as the window's banner says: the
// read before the next change does not mistake the file's older values for changes made outside.
// Once it can be written, the next write stores them all.
TEST(SettingsUnwritable, ChangesStayInMemoryAndAreWrittenWhenTheFileTakesWritesAgain)
{
    auto owned = std::make_unique<StuckBackend>();
    StuckBackend* backend = owned.get();
    Settings s(std::move(owned));
    s.setValue("mcp.readOnly", true);
    backend->writable = false;
    QSignalSpy told(&s, &Settings::valueChanged);
    s.setValue("mcp.readOnly", false);
    s.setValue("hotkeys.newNote.keyCode", 40);
    s.setValue("notes.floatOnTop", false);
    s.remove("mcp.readOnly");
    s.setValue("mcp.readOnly", false);
    EXPECT_FALSE(s.lastWriteSucceeded());
    EXPECT_EQ(s.boolIfStored("mcp.readOnly"), false) << "a change was taken back";
    EXPECT_EQ(s.value("hotkeys.newNote.keyCode"), QVariant(qint64(40)));
    EXPECT_EQ(s.boolIfStored("notes.floatOnTop"), false);
    EXPECT_EQ(told.count(), 5) << "only the user's own changes are told";

    backend->writable = true;
    s.setValue("general.showDockIcon", true);
    EXPECT_TRUE(s.lastWriteSucceeded());
    EXPECT_EQ(backend->file.value("mcp.readOnly"), QVariant(false));
    EXPECT_EQ(backend->file.value("hotkeys.newNote.keyCode"), QVariant(qint64(40)));
    EXPECT_EQ(backend->file.value("notes.floatOnTop"), QVariant(false));
}

namespace {

bool makeLink(const QString& target, const QString& at)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0;
}

// What a link says, as written.
QString linkText(const QString& at)
{
    char buf[4096];
    const ssize_t n = ::readlink(QFile::encodeName(at).constData(), buf, sizeof buf);
    return n < 0 ? QString() : QFile::decodeName(QByteArray(buf, n));
}

bool isFifo(const QString& p)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(p).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// The configuration folder is itself a link into a dotfiles folder (cfg -> dot/config), and settings.json
// there links on, relatively, to dot/store/tarnwick.json. The system resolves the relative link from the
// real folder that holds it; a stray store/ beside cfg (missing, an empty folder, a pipe where the file
// would be) is never what is written.
class SettingsThroughALinkedFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(dir.path()).mkpath("dot/config/tarnwick"));
        ASSERT_TRUE(QDir(dir.path()).mkpath("dot/store"));
        ASSERT_TRUE(makeLink("dot/config", dir.filePath("cfg")));
    }
    QJsonObject real() const { return QJsonDocument::fromJson(readFile(realFile)).object(); }
    static QJsonObject typed(const char* type, const QJsonValue& value) { return {{"type", type}, {"value", value}}; }

    QTemporaryDir dir;
    QString path = dir.filePath("cfg/tarnwick/settings.json");
    QString realFile = dir.filePath("dot/store/tarnwick.json");
    QString stray = dir.filePath("store/tarnwick.json");
};

TEST_F(SettingsThroughALinkedFolder, ARelativeLinkIsWrittenWhereTheSystemResolvesIt)
{
    enum Stray { nothing, folder, pipe };  // at store/ beside cfg, where a join as text would lead
    const QString relative = "../../store/tarnwick.json";
    const struct {
        const char* name;
        QString linkTo;
        bool realExists;  // else the link dangles: the file is made where it leads
        Stray stray;
    } cases[] = {
        {"nothing at the stray place", relative, true, nothing},
        {"a stray folder", relative, true, folder},
        {"a pipe at the stray path", relative, true, pipe},
        {"absolute, through the linked folder", dir.filePath("cfg/../store/tarnwick.json"), true, folder},
        {"relative, to a file not made yet", relative, false, folder},
    };
    const QDir strayFolder(dir.filePath("store"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path);
        QFile::remove(realFile);
        QDir(strayFolder).removeRecursively();
        ASSERT_TRUE(c.stray == nothing || QDir(dir.path()).mkdir("store"));
        ASSERT_TRUE(c.stray != pipe || ::mkfifo(QFile::encodeName(stray).constData(), 0600) == 0);
        if (c.realExists) writeFile(realFile, QJsonDocument(QJsonObject{{"k", typed("int", "1")}}).toJson());
        ASSERT_TRUE(makeLink(c.linkTo, path));
        Settings s(std::make_unique<FileSettingsBackend>(path));
        EXPECT_EQ(s.intValue("k"), c.realExists ? 1 : 0);
        s.setValue("k", 2);
        EXPECT_TRUE(s.lastWriteSucceeded());
        EXPECT_EQ(real()["k"], typed("int", "2"));
        EXPECT_EQ(linkText(path), c.linkTo) << "the link was replaced";
        EXPECT_EQ(QFileInfo(realFile).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
        const QStringList strayHolds =
            QDir(strayFolder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        EXPECT_EQ(strayFolder.exists(), c.stray != nothing);
        EXPECT_EQ(strayHolds, c.stray == pipe ? QStringList{"tarnwick.json"} : QStringList{});
        EXPECT_TRUE(c.stray != pipe || isFifo(stray)) << "the stray pipe was replaced";
        EXPECT_EQ(Settings(std::make_unique<FileSettingsBackend>(path)).intValue("k"), 2);
    }
}

// An unreadable file behind a link: the content moves aside beside it, the link stays and leads to good
// values at once. A link to a folder is no settings file: not read, not replaced, nothing put in it.
TEST_F(SettingsThroughALinkedFolder, UnreadableContentBehindALinkIsKeptAndTheLinkToo)
{
    writeFile(realFile, "{ not json");
    ASSERT_TRUE(makeLink("../../store/tarnwick.json", path));
    {
        Settings s(std::make_unique<FileSettingsBackend>(path));
        EXPECT_EQ(linkText(path), "../../store/tarnwick.json");
        const QStringList aside = QDir(dir.filePath("dot/store")).entryList({"tarnwick.json.corrupt-*"});
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(readFile(dir.filePath("dot/store/" + aside.first())), "{ not json");
        EXPECT_EQ(real(), QJsonObject());
        s.setValue("x", true);
        EXPECT_TRUE(s.lastWriteSucceeded());
        EXPECT_EQ(real()["x"], typed("bool", true));
        EXPECT_EQ(linkText(path), "../../store/tarnwick.json");
    }

    QFile::remove(path);
    ASSERT_TRUE(makeLink("../../store", path));
    LogCapture log;
    Settings s(std::make_unique<FileSettingsBackend>(path));
    s.setValue("x", false);
    EXPECT_FALSE(s.lastWriteSucceeded());
    EXPECT_EQ(s.boolIfStored("x"), false);
    EXPECT_EQ(linkText(path), "../../store");
    QStringList held =
        QDir(dir.filePath("dot/store")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_EQ(held.filter(QRegularExpression("^tarnwick\\.json(\\.corrupt-\\d+)?$")), held)
        << held.join(' ').toStdString();
    EXPECT_EQ(real()["x"], typed("bool", true));
    EXPECT_EQ(log.count("Settings file was unreadable and was left as it is: it is a folder"), 1)
        << log.lines().join("\n").toStdString();
}

namespace {
// Counts the writes tried.
class CountingBackend : public FileSettingsBackend {
public:
    CountingBackend(const QString& path, int& tries) : FileSettingsBackend(path), m_tries(tries) {}
    bool store(const QVariantMap& values) override
    {
        ++m_tries;
        return FileSettingsBackend::store(values);
    }
    StoreOutcome storeOver(const QVariantMap& values, const Snapshot& since) override
    {
        ++m_tries;
        return FileSettingsBackend::storeOver(values, since);
    }

private:
    int& m_tries;
};
}  // namespace

// A write that keeps failing (a link into a folder not there, a link to itself) is tried again by
// itself, calmly, and told once; once the link leads somewhere again the values get there unasked.
TEST_F(SettingsMerge, AFailingWriteIsRetriedCalmlyToldOnceAndDoneWhenItCanBe)
{
    const QString real = dir.filePath("dotfiles/tarnwick.json");
    for (const QString& nowhere : {dir.filePath("missing-folder/tarnwick.json"), path}) {
        SCOPED_TRACE(nowhere.toStdString());
        QFile::remove(path);
        ASSERT_TRUE(makeLink(nowhere, path));
        int tries = 0;
        LogCapture log;
        Settings s(std::make_unique<CountingBackend>(path, tries));
        s.setValue("k", 1);
        QTest::qWait(2 * Settings::retryFirstMs + 500);
        // Tries at 0, 1 and 3 s; the loop this bounds tried every 150 ms.
        EXPECT_LE(tries, 4);
        EXPECT_TRUE(QTest::qWaitFor([&] { return tries >= 2; }, 3 * Settings::retryLastMs)) << "not tried again";
        EXPECT_EQ(log.count("Settings file could not be written"), 1) << log.lines().join("\n").toStdString();
        EXPECT_EQ(linkText(path), nowhere);
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing-folder")));

        ASSERT_TRUE(QDir(dir.path()).mkpath("dotfiles"));
        QFile::remove(path);
        ASSERT_TRUE(makeLink(real, path));
        EXPECT_TRUE(QTest::qWaitFor([&] { return s.lastWriteSucceeded(); }, 3 * Settings::retryLastMs));
        EXPECT_EQ(QJsonDocument::fromJson(readFile(real)).object()["k"], typed("int", "1"));
        EXPECT_EQ(log.count("Settings file could not be written"), 1);
        QFile::remove(real);
    }
}

}  // namespace
