#pragma once

// A NoteStore with a fake clock, settings in memory and a keychain in memory, over a fresh store file
// (or the container given).
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <memory>

#include "keys/KeychainStore.h"
#include "model/Note.h"
#include "model/NoteImage.h"
#include "platform/MemoryKeychainBackend.h"
#include "platform/ModelContainer.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "platform/StoreTestSupport.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"
#include "support/FakeClock.h"
#include "support/TestEnvironment.h"

namespace tarnwick::test {

class NoteStoreFixture {
public:
    explicit NoteStoreFixture(std::unique_ptr<ModelContainer> opened = nullptr)
    {
        KeychainStore::useBackend(keychain);
        if (opened) {
            container = std::move(opened);
            store = std::make_unique<NoteStore>(context(), clock, settings, NotificationCenter::shared());
        } else {
            open();
        }
    }
    virtual ~NoteStoreFixture() { KeychainStore::useBackend(nullptr); }

    // Saves what is pending and opens the store file afresh, so every row comes back from the file.
    // Objects of the previous context are gone afterwards.
    void open()
    {
        if (container) context().save();
        store.reset();
        container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), path())).value();
        store = std::make_unique<NoteStore>(context(), clock, settings, NotificationCenter::shared());
    }
    QString path() const { return dir.filePath(QStringLiteral("default.store")); }
    QString sql(const QString& query) const { return storetest::scalar(path(), query); }
    ModelContext& context() { return container->mainContext(); }
    QDateTime now() const { return clock.now(); }

    Note* addNote(const QString& title, const QString& body = QString(), qint64 updatedSecondsAgo = 0)
    {
        auto note = std::make_unique<Note>(title, body, Tint::blue, Opacity::solid, std::nullopt, std::nullopt,
                                           QDateTime::currentDateTimeUtc());
        note->setUpdatedAt(now().addSecs(-updatedSecondsAgo));
        return context().insert(std::move(note));
    }
    // A saved note titled "Private" with a text block and one picture block per colour.
    Note* addSavedNote(const QString& text, const QList<QColor>& pictures = {})
    {
        Note* note = context().insert(std::make_unique<Note>());
        note->setTitle(QStringLiteral("Private"));
        QVector<NoteBlock> list{NoteBlock::text(TextRuns{text, {}})};
        QHash<QString, NoteImage*> reuse;
        for (const QColor& colour : pictures) {
            NoteImage* row = store->insertImageRow(png(colour), note->uuid(), reuse);
            list.append(NoteBlock::image(ImagePlacement{row->uuid(), ImageSizing()}));
        }
        note->setBlocks(list);
        store->saveNow();
        return note;
    }
    // A second row of a note, as another device or an old import leaves one.
    Note* addDuplicate(const Note& of, qint64 updatedSecondsAgo)
    {
        Note* copy = addNote(of.title(), of.body(), updatedSecondsAgo);
        copy->setUuid(of.uuid());
        return copy;
    }
    NoteImage* addImage(const QUuid& noteID, const QColor& color = Qt::red)
    {
        QHash<QString, NoteImage*> none;
        return store->insertImageRow(png(color), noteID, none);
    }
    static QByteArray png(const QColor& color)
    {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(color);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }
    // "T:<text>" makes a text block, "I:<n>" an image block naming images[n].
    static QVector<NoteBlock> blocks(const QStringList& shape, const QList<const NoteImage*>& images = {})
    {
        QVector<NoteBlock> out;
        for (const QString& part : shape)
            out.append(part.startsWith(u'I')
                           ? NoteBlock::image(ImagePlacement{images.at(part.mid(2).toInt())->uuid(), ImageSizing()})
                           : NoteBlock::text(TextRuns{part.mid(2), {}}));
        return out;
    }
    static QStringList shape(const QVector<NoteBlock>& list)
    {
        QStringList out;
        for (const NoteBlock& b : list) out << (b.textRuns() ? QStringLiteral("T:") + b.textRuns()->text : "I");
        return out;
    }
    template <typename T>
    QList<T*> rows()
    {
        auto fetched = context().fetch<T>();
        return fetched ? *fetched : QList<T*>();
    }
    QSet<QUuid> imageIDs()
    {
        QSet<QUuid> ids;
        for (const NoteImage* i : rows<NoteImage>()) ids.insert(i->uuid());
        return ids;
    }
    // The way a locked note rests on disk: no body in the clear, pictures only as ciphers.
    void seal(Note& note)
    {
        note.setIsLocked(true);
        note.setLockedCipher(QByteArray("sealed payload"));
        note.setBody(QString());
        note.setBodyBlocksData(std::nullopt);
        note.setBodyRichData(std::nullopt);
        for (NoteImage* row : store->images(note.uuid())) {
            row->setLockedCipher(QByteArray("sealed picture"));
            row->setData(std::nullopt);
        }
    }

    QTemporaryDir dir;
    FakeClock clock;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    std::shared_ptr<MemoryKeychainBackend> keychain = std::make_shared<MemoryKeychainBackend>();
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<NoteStore> store;
    LogCapture log;
};

// The same as a GoogleTest fixture.
class NoteStoreTestBase : public ::testing::Test, public NoteStoreFixture {};

}  // namespace tarnwick::test
