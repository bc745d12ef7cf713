#pragma once

#include <QByteArray>
#include <QUuid>
#include <optional>
#include <vector>

#include "editor/BlockTypes.h"
#include "model/BaseStyle.h"
#include "model/NoteBlock.h"

class Note;
class NoteStore;
class UndoManager;

// What a block controller calls on its container. Controllers hold their host weakly: the container is
// a QObject, and every call is skipped once it is gone.
class BlockHost {
public:
    virtual ~BlockHost() = default;

    virtual QUuid noteID() const = 0;
    virtual Note* note() const = 0;
    virtual NoteStore* noteStore() const = 0;
    // The style the text codec stores runs against.
    virtual BaseStyle codecBase() const = 0;
    // The note's one undo stack, shared by every block and the container.
    virtual UndoManager* blockUndoManager() const = 0;
    // The column width for pictures.
    virtual qreal paperWidth() const = 0;

    virtual void blockNeedsLayout() = 0;
    virtual void focusDidChange(const std::optional<QUuid>& blockID) = 0;
    // Text was edited: the container snapshots and stores the body.
    virtual void blockDidChange(const QUuid& blockID) = 0;
    // Leaves a block with an arrow key; true when the focus moved. caretX is in global coordinates.
    virtual bool moveFocus(const QUuid& from, BlockFocusDirection direction, std::optional<qreal> caretX) = 0;
    virtual std::optional<int> indexOfBlock(const QUuid& blockID) const = 0;
    virtual bool isLastBlock(const QUuid& blockID) const = 0;
    virtual bool backspaceAtStart(const QUuid& blockID) = 0;
    virtual bool deleteForwardAtEnd(const QUuid& blockID) = 0;
    // Pictures pasted into a text block: split it at the offset and insert picture blocks there.
    virtual void insertImages(const std::vector<QByteArray>& pictures, const QUuid& splitting, qsizetype at) = 0;
    // Pictures inserted at a gap between blocks.
    virtual void insertImages(const std::vector<QByteArray>& pictures, int gapIndex) = 0;
    virtual void deleteImageBlock(const QUuid& blockID) = 0;
    virtual void previewImageSizing(const QUuid& blockID, double fraction) = 0;
    virtual void setImageSizing(const QUuid& blockID, const ImageSizing& sizing) = 0;
    virtual std::optional<QUuid> insertTextBlock(const QUuid& after) = 0;
    virtual void focusTextBeside(const QUuid& blockID) = 0;
    // A message for the user about input that was skipped (a picture file that could not be used).
    virtual void reportSkipped(const QString& message) = 0;
};
