#pragma once

// A NoteStore over a fresh store file, with a fake clock and settings in memory.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "model/Capture.h"
#include "model/Note.h"
#include "model/NoteImage.h"
#include "model/NoteTheme.h"
#include "platform/ModelContainer.h"
#include "platform/Settings.h"
#include "platform/StoreTestSupport.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"
#include "support/FakeClock.h"
#include "support/TestEnvironment.h"

class NoteStoreFixture : public ::testing::Test {
protected:
    void SetUp() override { open(); }
    // Saves what is pending and opens the store afresh, so every row comes back from the file. Objects
    // of the previous context are gone afterwards.
    void open()
    {
        if (container) context().save();
        store.reset();
        container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), path())).value();
        store = std::make_unique<NoteStore>(context(), clock, settings);
    }
    QString path() const { return dir.filePath(QStringLiteral("default.store")); }
    QString sql(const QString& query) const { return storetest::scalar(path(), query); }
    ModelContext& context() { return container->mainContext(); }
    QDateTime now() const { return clock.now(); }

    Note* addNote(const QString& title, const QString& body = QString(), qint64 updatedSecondsAgo = 0)
    {
        auto note = std::make_unique<Note>(title, body, Tint::blue, Opacity::solid, std::nullopt, std::nullopt);
        note->setUpdatedAt(now().addSecs(-updatedSecondsAgo));
        return context().insert(std::move(note));
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
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<NoteStore> store;
    tarnwick::test::LogCapture log;
};
