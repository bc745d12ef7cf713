#pragma once

#include <QUuid>
#include <optional>
#include <variant>
#include <vector>

#include "model/NoteBlock.h"

// Where the caret goes when a block takes the focus.
struct CaretPlacement {
    struct Offset {
        qsizetype value = 0;  // a UTF-16 offset, clamped into the text
        friend bool operator==(const Offset&, const Offset&) = default;
    };
    // The character nearest to x (global coordinates) on the first line (fromAbove) or the last line.
    struct SameX {
        qreal x = 0;
        bool fromAbove = false;
        friend bool operator==(const SameX&, const SameX&) = default;
    };
    struct Start {  // the body start: after the title line in the title block, else 0
        friend bool operator==(const Start&, const Start&) = default;
    };
    struct DocumentStart {
        friend bool operator==(const DocumentStart&, const DocumentStart&) = default;
    };
    struct End {
        friend bool operator==(const End&, const End&) = default;
    };
    using Value = std::variant<Offset, SameX, Start, DocumentStart, End>;
    Value value = Offset{};

    static CaretPlacement offset(qsizetype v) { return {Offset{v}}; }
    static CaretPlacement sameX(qreal x, bool fromAbove) { return {SameX{x, fromAbove}}; }
    static CaretPlacement start() { return {Start{}}; }
    static CaretPlacement documentStart() { return {DocumentStart{}}; }
    static CaretPlacement end() { return {End{}}; }
    friend bool operator==(const CaretPlacement&, const CaretPlacement&) = default;
};

enum class BlockFocusDirection { up, down, left, right };

struct FocusDescriptor {
    QUuid blockID;
    qsizetype caret = 0;  // a UTF-16 offset in that block
    friend bool operator==(const FocusDescriptor&, const FocusDescriptor&) = default;
};

// A whole body and where the caret goes after it is applied: the unit of structural undo.
struct BlockSnapshot {
    QVector<NoteBlock> blocks;
    std::optional<FocusDescriptor> focus;
};

// Where a picture dropped into a text block would split it: the caret offset and the y of the line
// there, in the block view's coordinates.
struct BlockBoundary {
    qsizetype offset = 0;
    qreal lineY = 0;
    friend bool operator==(const BlockBoundary&, const BlockBoundary&) = default;
};
