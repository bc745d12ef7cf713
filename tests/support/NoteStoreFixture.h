#pragma once

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <memory>

#include "model/Note.h"
#include "model/NoteImage.h"
#include "platform/MemoryKeychainBackend.h"
#include "platform/ModelContainer.h"
#include "platform/Settings.h"
#include "privacy/KeychainStore.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"
#include "support/FakeClock.h"

namespace tarnwick::test {

// A note store over a container in memory (or the one given), with its own settings, a fake clock
// and a keychain in memory.
class NoteStoreFixture {
public:
    explicit NoteStoreFixture(std::unique_ptr<ModelContainer> opened = nullptr)
        : container(opened ? std::move(opened)
                           : std::move(ModelContainer::openInMemory(TarnwickSchemaV2::schema())).value()),
          settings(std::make_unique<MemorySettingsBackend>()),
          store(container->mainContext(), clock, settings)
    {
        KeychainStore::useBackend(keychain);
    }
    ~NoteStoreFixture() { KeychainStore::useBackend(nullptr); }

    // A saved note with a text block and one picture block per colour.
    Note* addNote(const QString& text, const QList<QColor>& pictures = {})
    {
        Note* note = container->mainContext().insert(std::make_unique<Note>());
        note->setTitle(QStringLiteral("Private"));
        QVector<NoteBlock> blocks{NoteBlock::text(TextRuns{text, {}})};
        QHash<QString, NoteImage*> reuse;
        for (const QColor& colour : pictures) {
            NoteImage* row = store.insertImageRow(png(colour), note->uuid(), reuse);
            blocks.append(NoteBlock::image(ImagePlacement{row->uuid(), ImageSizing()}));
        }
        note->setBlocks(blocks);
        store.saveNow();
        return note;
    }

    static QByteArray png(const QColor& colour)
    {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(colour);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(image);
        return bytes;
    }

    std::shared_ptr<MemoryKeychainBackend> keychain = std::make_shared<MemoryKeychainBackend>();
    std::unique_ptr<ModelContainer> container;
    FakeClock clock;
    Settings settings;
    NoteStore store;
};

}  // namespace tarnwick::test
