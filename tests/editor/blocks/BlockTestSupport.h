#pragma once

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <memory>

#include "editor/blocks/BlockContainer.h"
#include "editor/blocks/ImageBlockController.h"
#include "support/NoteStoreFixture.h"

namespace tarnwick::test {

// A container over a real store, with real text blocks over in-memory storage.
class BlockFixture : public NoteStoreFixture {
public:
    std::unique_ptr<BlockContainer> container;
    Note* note = nullptr;
    BlockContainer* active = nullptr;  // the container the helpers look at

    static QByteArray picture(int w, int h, QColor color = Qt::blue, const char* format = "PNG")
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(color);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, format);
        return bytes;
    }

    BlockContainer& open(Note* n, qreal width = 420, std::optional<qreal> viewport = 600)
    {
        note = n;
        container = std::make_unique<BlockContainer>(note, store.get(), clock, ResolvedNoteTheme{},
                                                     BlockContainer::NoteStyle::floating);
        active = container.get();
        active->setWidth(width);
        if (viewport) active->setViewport(0, *viewport);
        active->load(true);
        turn();
        return *container;
    }
    static void turn()
    {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
    QStringList shown() const
    {
        QStringList out;
        for (int i = 0; i < active->blockCount(); ++i) {
            if (auto* t = active->textController(i))
                out << QStringLiteral("T:") + t->snapshot().textRuns()->text;
            else
                out << QStringLiteral("I");
        }
        return out;
    }
    QStringList stored() const { return shape(note->blocks()); }
    QList<QUuid> ids() const
    {
        QList<QUuid> out;
        for (int i = 0; i < active->blockCount(); ++i) out << active->controllerAt(i)->id();
        return out;
    }
};

}  // namespace tarnwick::test
