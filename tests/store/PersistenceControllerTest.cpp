#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <QDirIterator>

#include "keys/CryptoBox.h"
#include "keys/KeychainStore.h"
#include "model/Note.h"
#include "model/NoteImage.h"
#include "platform/MemoryKeychainBackend.h"
#include "store/LockedPayload.h"
#include "store/PersistenceController.h"
#include "store/StoreSnapshot.h"
#include "store/TarnwickSchemaV2.h"
#include "support/FakeClock.h"
#include "support/TestEnvironment.h"

using tarnwick::test::LogCapture;
using tarnwick::test::readFile;
using tarnwick::test::TestEnvironment;
using tarnwick::test::writeFile;

namespace {

class PersistenceControllerTest : public ::testing::Test {
protected:
    void SetUp() override { QDir().mkpath(store()); }
    QString legacy(const QString& name = {}) const { return name.isEmpty() ? root.path() : root.filePath(name); }
    QString store(const QString& name = {}) const
    {
        return root.filePath("tarnwick") + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }
    QString record() const { return store("TarnwickSnapshots/schema-fingerprint"); }
    PersistenceController::Opened open() { return PersistenceController::open(store(), legacy(), clock); }
    static QString fingerprint() { return StoreSnapshot::fingerprint(TarnwickSchemaV2::schema(), QString()); }

    QTemporaryDir root;
    FakeClock clock;
    LogCapture log;
};

TEST_F(PersistenceControllerTest, FreshStartCreatesTheStoreWithItsTablesAndRecordsTheFingerprint)
{
    auto opened = open();
    ASSERT_TRUE(opened.container);
    EXPECT_FALSE(opened.failure);
    EXPECT_FALSE(opened.container->isInMemory());
    for (const char* name : {"default.store", "default.store-wal", "default.store-shm"})
        EXPECT_TRUE(QFile::exists(store(QString::fromLatin1(name)))) << name;
    EXPECT_EQ(QString::fromLatin1(readFile(record())), fingerprint());
    EXPECT_TRUE(log.lines("store").isEmpty()) << qPrintable(log.lines().join('\n'));
    EXPECT_TRUE(QDir(store("TarnwickSnapshots")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());

    // Every entity is a table the context can write and read back.
    ModelContext& context = opened.container->mainContext();
    context.setAutosaveEnabled(false);
    for (const EntityDescription* e : TarnwickSchemaV2::models()) context.insert(e->make());
    ASSERT_TRUE(context.save().ok());
    opened.container.reset();

    auto again = open();
    ASSERT_FALSE(again.failure);
    for (const EntityDescription* e : TarnwickSchemaV2::models())
        EXPECT_EQ(again.container->mainContext().fetch(*e)->size(), 1) << qPrintable(e->name);
    EXPECT_TRUE(log.lines("store").isEmpty()) << "unchanged schema: no snapshot";
    auto notes = again.container->mainContext().fetch<Note>();
    ASSERT_EQ(notes->size(), 1);
    EXPECT_TRUE(qobject_cast<Note*>(notes->first())) << "rows come back as their entity's class";
}

TEST_F(PersistenceControllerTest, StoreThatFailsToOpenFallsBackToMemoryAndIsLeftAsItWas)
{
    const QByteArray junk = QByteArray("this is not a database, but it is the user's file\n").repeated(100);
    writeFile(store("default.store"), junk);
    QDir().mkpath(store("TarnwickSnapshots"));
    writeFile(record(), "an older fingerprint");

    auto opened = open();
    ASSERT_TRUE(opened.container);
    EXPECT_TRUE(opened.container->isInMemory());
    ASSERT_TRUE(opened.failure);
    EXPECT_TRUE(opened.failure->startsWith("StoreError(code: 26")) << qPrintable(*opened.failure);
    EXPECT_EQ(readFile(store("default.store")), junk);
    EXPECT_FALSE(QFile::exists(store("default.store-wal")));
    EXPECT_EQ(readFile(record()), "an older fingerprint");
    EXPECT_EQ(log.count("Failed to open the persistent store: "), 1);
    EXPECT_TRUE(log.contains("; falling back to in-memory for this session."));
    EXPECT_TRUE(log.contains("schema changed \u2014 snapshot of 1 file(s)")) << "taken before opening";

    // The session still runs, in memory.
    ModelContext& context = opened.container->mainContext();
    context.insert(TarnwickSchemaV2::models().first()->make());
    EXPECT_TRUE(context.save().ok());
    EXPECT_EQ(readFile(store("default.store")), junk);
}

// A file already in the notes file's place is the user's, even an empty one: when the store fails to
// open, only a file this opening made is taken away again, and the user's stays as it was.
TEST_F(PersistenceControllerTest, AFileThatWasThereStaysWhenTheStoreFailsToOpen)
{
    for (const QByteArray& content :
         {QByteArray("not a database, but somebody's words\n").repeated(40), QByteArray()}) {
        SCOPED_TRACE(content.size());
        writeFile(store("default.store"), content);
        // The log's place taken by a folder: even an empty file cannot become a store.
        ASSERT_TRUE(QDir().mkpath(store("default.store-wal")));
        {
            auto opened = open();
            ASSERT_TRUE(opened.failure);
            EXPECT_TRUE(opened.container->isInMemory());
        }
        const QFileInfo file(store("default.store"));
        EXPECT_TRUE(file.isFile() && !file.isSymLink());
        EXPECT_EQ(readFile(store("default.store")), content);
        ASSERT_TRUE(QDir(store("default.store-wal")).removeRecursively());
        QFile::remove(store("default.store-shm"));
    }
    // The check that the test makes the open fail: without the folder, the empty file becomes a store.
    EXPECT_FALSE(open().failure);
}

// Mode bits of everything under a folder, the folder included, by path relative to it.
QMap<QString, int> modesUnder(const QString& root)
{
    QMap<QString, int> modes;
    struct stat st {};
    ::stat(QFile::encodeName(root).constData(), &st);
    modes.insert(".", int(st.st_mode & 07777));
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        ::lstat(QFile::encodeName(path).constData(), &st);
        modes.insert(QDir(root).relativeFilePath(path), int(st.st_mode & 07777));
    }
    return modes;
}

// A locked note left in the clear by a crash is sealed at launch, after the snapshot that a schema
// change takes; the snapshot must not keep it readable. And under the common umask nothing the store
// writes is readable by other users.
TEST_F(PersistenceControllerTest, SnapshotsHoldNoPrivateNoteInTheClearAndEveryFileIsPrivate)
{
    KeychainStore::useBackend(std::make_shared<MemoryKeychainBackend>());
    const mode_t umaskBefore = ::umask(022);
    QUuid lockedID;
    {
        auto opened = open();
        ModelContext& context = opened.container->mainContext();
        context.setAutosaveEnabled(false);
        Note* diary =
            context.insert(std::make_unique<Note>("Diary", "zebra secret words", Tint::blue, Opacity::solid,
                                                  std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
        diary->setIsLocked(true);
        lockedID = diary->uuid();
        NoteImage* picture = context.insert(std::make_unique<NoteImage>());
        picture->setNoteUUID(lockedID);
        picture->setData(QByteArray("picture secret bytes"));
        context.insert(std::make_unique<Note>("Shopping", "plain visible words", Tint::blue, Opacity::solid,
                                              std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
        ASSERT_TRUE(context.save().ok());
        for (const QString& name : modesUnder(store()).keys()) {
            const int mode = modesUnder(store()).value(name);
            EXPECT_TRUE(mode == 0600 || mode == 0700) << qPrintable(name) << " " << std::oct << mode;
        }
    }
    // Left readable by an earlier release: made private again at the next launch.
    QFile::setPermissions(store("default.store"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ReadOther | QFileDevice::ReadGroup);
    ::chmod(QFile::encodeName(store()).constData(), 0755);
    writeFile(record(), "an older fingerprint");

    auto opened = open();
    ASSERT_FALSE(opened.failure);
    const QStringList snapshots = QDir(store("TarnwickSnapshots")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(snapshots.size(), 1);
    const QString snapshot = store("TarnwickSnapshots/" + snapshots.first());
    QByteArray everything;
    for (const QString& name : QDir(snapshot).entryList(QDir::Files | QDir::Hidden))
        everything += readFile(snapshot + '/' + name);
    EXPECT_FALSE(everything.contains("zebra secret words"));
    EXPECT_FALSE(everything.contains("picture secret bytes"));
    EXPECT_TRUE(everything.contains("plain visible words"));

    const QMap<QString, int> modes = modesUnder(store());
    EXPECT_TRUE(modes.contains("default.store-wal"));
    for (auto it = modes.begin(); it != modes.end(); ++it) {
        const bool folder = QFileInfo(store(it.key())).isDir();
        EXPECT_EQ(it.value(), folder ? 0700 : 0600) << qPrintable(it.key());
    }
    ::umask(umaskBefore);
    opened.container.reset();

    // The copy still holds the note, sealed as the store seals it.
    auto copy = ModelContainer::open(TarnwickSchemaV2::schema(), snapshot + "/default.store");
    ASSERT_TRUE(copy.ok());
    ModelContext& context = (*copy)->mainContext();
    Note* diary = nullptr;
    const auto notes = context.fetch<Note>();
    for (ManagedObject* object : *notes)
        if (auto* n = qobject_cast<Note*>(object); n && n->uuid() == lockedID) diary = n;
    ASSERT_TRUE(diary);
    EXPECT_TRUE(diary->body().isEmpty());
    ASSERT_TRUE(diary->lockedCipher());
    const auto payload = LockedPayload::decoded(CryptoBox::open(*diary->lockedCipher()).value());
    ASSERT_TRUE(payload);
    EXPECT_EQ(payload->body, "zebra secret words");
    EXPECT_EQ(payload->version, LockedPayload::currentVersion);
    const auto pictures = context.fetch<NoteImage>();
    ASSERT_EQ(pictures->size(), 1);
    auto* picture = qobject_cast<NoteImage*>(pictures->first());
    EXPECT_FALSE(picture->data());
    EXPECT_EQ(CryptoBox::open(picture->lockedCipher().value()).value(), "picture secret bytes");
    KeychainStore::useBackend(nullptr);
}

int modeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// The notes file a link of the user's leads to, on a drive that is not mounted: the store cannot open,
// and the link must still be there when the drive is back.
TEST_F(PersistenceControllerTest, ANotesFileLinkThatLeadsNowhereIsKept)
{
    const QString target = root.filePath("drive/notes.store");
    ASSERT_TRUE(QFile::link(target, store("default.store")));
    auto opened = open();
    EXPECT_TRUE(opened.failure);
    EXPECT_TRUE(opened.container->isInMemory());
    EXPECT_EQ(QFileInfo(store("default.store")).symLinkTarget(), target);
    EXPECT_FALSE(QFileInfo::exists(root.filePath("drive")));
    EXPECT_FALSE(QFileInfo::exists(record())) << "the store behind the link may have been written under another schema";

    // Back on the drive: the store behind the link opens through it, and the link stays.
    QDir().mkpath(root.filePath("drive"));
    auto again = open();
    ASSERT_FALSE(again.failure) << qPrintable(*again.failure);
    EXPECT_FALSE(again.container->isInMemory());
    EXPECT_TRUE(QFileInfo(store("default.store")).isSymLink());
    EXPECT_EQ(modeOf(target), 0600);
}

// A store moved elsewhere by the user and linked back: it opens through the link with its notes,
// the link stays, and the file behind it is made private like our own.
TEST_F(PersistenceControllerTest, ANotesFileLinkToAStoreOpensItThroughTheLink)
{
    const mode_t umaskBefore = ::umask(022);
    const QString elsewhere = root.filePath("drive");
    {
        auto made = PersistenceController::open(elsewhere, std::nullopt, clock);
        ModelContext& context = made.container->mainContext();
        context.setAutosaveEnabled(false);
        context.insert(std::make_unique<Note>("Kept", "behind the link", Tint::blue, Opacity::solid, std::nullopt,
                                              std::nullopt, QDateTime::currentDateTimeUtc()));
        ASSERT_TRUE(context.save().ok());
    }
    const QString target = elsewhere + "/default.store";
    ::chmod(QFile::encodeName(target).constData(), 0644);
    ASSERT_TRUE(QFile::link(target, store("default.store")));

    auto opened = open();
    ASSERT_FALSE(opened.failure) << qPrintable(*opened.failure);
    const auto notes = opened.container->mainContext().fetch<Note>();
    ASSERT_EQ(notes->size(), 1);
    EXPECT_EQ(qobject_cast<Note*>(notes->first())->body(), "behind the link");
    EXPECT_EQ(QFileInfo(store("default.store")).symLinkTarget(), target);
    EXPECT_EQ(modeOf(target), 0600);
    EXPECT_EQ(modeOf(target + "-wal"), 0600) << "the log, kept beside the file itself, is as private";
    ::umask(umaskBefore);
}

// A folder of the user's where the notes file belongs, and a file of theirs beside the store: neither
// is Tarnwick's, so neither is changed, and the folder is not copied into a snapshot.
TEST_F(PersistenceControllerTest, OnlyTheStoresOwnItemsAreMadePrivateOrCopied)
{
    writeFile(store("default.store/photos/beach.jpg"), "a large picture");
    writeFile(store("notes-export.txt"), "the user's");
    writeFile(store(".default_SUPPORT/ab/blob"), "external");
    for (const char* name : {"default.store", "default.store/photos"})
        ::chmod(QFile::encodeName(store(name)).constData(), 0755);
    for (const char* name : {"default.store/photos/beach.jpg", "notes-export.txt", ".default_SUPPORT/ab/blob"})
        ::chmod(QFile::encodeName(store(name)).constData(), 0644);
    QDir().mkpath(store("TarnwickSnapshots"));
    writeFile(record(), "an older fingerprint");

    auto opened = open();
    EXPECT_TRUE(opened.failure);
    EXPECT_EQ(modesUnder(store("default.store")),
              (QMap<QString, int>{{".", 0755}, {"photos", 0755}, {"photos/beach.jpg", 0644}}));
    EXPECT_EQ(modeOf(store("notes-export.txt")), 0644);
    EXPECT_EQ(modeOf(store(".default_SUPPORT/ab/blob")), 0600);
    const QStringList snapshots = QDir(store("TarnwickSnapshots")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(snapshots.size(), 1) << "the support folder is the store's";
    EXPECT_EQ(QDir(store("TarnwickSnapshots/" + snapshots.first()))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{".default_SUPPORT"});
}

TEST(PersistenceControllerShared, OpensOnceInTheApplicationsDataFolder)
{
    EXPECT_FALSE(PersistenceController::storeFailure()) << "reading the failure does not open the store";
    ModelContainer& container = PersistenceController::shared(Clock::system());
    EXPECT_EQ(&container, &PersistenceController::shared(Clock::system()));
    EXPECT_FALSE(PersistenceController::storeFailure());
    EXPECT_EQ(container.path(), TestEnvironment::dataHome() + "/tarnwick/default.store");
    EXPECT_TRUE(QFile::exists(TestEnvironment::dataHome() + "/tarnwick/TarnwickSnapshots/schema-fingerprint"));
}

}  // namespace
