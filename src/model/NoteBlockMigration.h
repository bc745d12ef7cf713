#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <QVector>
#include <optional>

#include "model/BaseStyle.h"
#include "model/NoteBlock.h"
#include "model/text/AttributedText.h"

// Turns legacy rich bodies into blocks, and two block-list operations the store and the editors share.
// Nothing here touches the store: pictures come out as drafts whose placeholder ids stand in the image
// blocks until the store has made picture rows for them.
class NoteBlockMigration {
public:
    struct ImageDraft {
        QUuid placeholder;
        QByteArray bytes;             // as found in the attachment, not yet normalised
        std::optional<double> width;  // the drawn width in points, when the body kept one
    };

    struct Migrated {
        QVector<NoteBlock> blocks;
        QVector<ImageDraft> images;  // in the order of their image blocks
    };

    // The blocks for a note's legacy body. None means "not now": the caller leaves the note as it is,
    // and it still opens as plain text.
    static std::optional<Migrated> migrate(const QString& body, const std::optional<QByteArray>& richData,
                                           double paperWidth, const BaseStyle& base);

    // Cuts an attributed text at its picture attachments into text and image blocks. None when a
    // picture yields no bytes.
    static std::optional<Migrated> split(const AttributedText& text, double paperWidth, const BaseStyle& base);

    // The root attributed string of a legacy keyed archive, or none (unreadable, refused or not one).
    static std::optional<AttributedText> unarchiveBody(const QByteArray& data);

    // Joins every run of neighbouring text blocks into one, keeping the first block's id.
    static QVector<NoteBlock> mergingAdjacentText(const QVector<NoteBlock>& blocks);

    // Blocks rebuilt from the plain body: each line that is a lone picture placeholder takes the next
    // salvaged picture placement; placements left over follow at the end.
    static QVector<NoteBlock> rebuild(const QString& body, const QVector<NoteBlock>& salvagingImagesFrom);

private:
    static void reportLegacyGap(const QString& reason);
    static void reportUnreadablePicture();
    static void reportOversizedArchive();
};
