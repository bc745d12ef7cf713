#pragma once

#include <QColor>
#include <QUuid>
#include <optional>

#include "editor/BlockTypes.h"
#include "model/NoteBlock.h"
#include "model/ResolvedNoteTheme.h"

class QWidget;

// One block of a note body as the block container sees it: a text block or a picture block.
class BlockController {
public:
    virtual ~BlockController() = default;

    // The id of the block shown; constant for the controller's life.
    virtual QUuid id() const = 0;
    // The widget placed in the container; none while the block is edited without one.
    virtual QWidget* view() const = 0;
    virtual bool isFocused() const = 0;
    // Whether this controller can show that block (a text controller every text block, and so on).
    virtual bool matches(const NoteBlock& block) const = 0;
    virtual qreal heightForWidth(qreal width) = 0;
    // Reloads the controller from a block of its kind; other kinds are ignored.
    virtual void apply(const NoteBlock& block) = 0;
    // The block as now held (same id; the title block without its title line).
    virtual NoteBlock snapshot() const = 0;
    virtual void applyTheme(const ResolvedNoteTheme& theme, const std::optional<QColor>& previousInk) = 0;
    virtual void focus(const CaretPlacement& placement) = 0;
};
