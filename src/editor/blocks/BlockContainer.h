#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSet>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "editor/BlockHost.h"
#include "editor/blocks/PictureCache.h"
#include "editor/text/TextBlockController.h"
#include "model/Note.h"
#include "model/ResolvedNoteTheme.h"
#include "platform/NotificationCenter.h"
#include "platform/UndoManager.h"

class Clock;
class ImageBlockController;
class Note;
class NoteImage;
class NoteStore;
class PreviewFiles;
class SpellChecker;
class TextStorage;

// The editor of one note body, without widgets: one controller per block, the note's one undo stack,
// focus requests, every write of the body back into the note, and the geometry of the stacked blocks
// inside a scrolled visible area. BlockContainerView shows it; tests drive it directly.
class BlockContainer : public QObject, public BlockHost {
    Q_OBJECT

public:
    using NoteStyle = TextBlockController::NoteStyle;

    // Where dropped pictures go: a gap index (never 0, never before the title block) or a split of a
    // text block at a caret, with the y of the drop line.
    struct Gap {
        int index = 1;
        friend bool operator==(const Gap&, const Gap&) = default;
    };
    struct Split {
        QUuid block;
        qsizetype caret = 0;
        qreal lineY = 0;
        friend bool operator==(const Split&, const Split&) = default;
    };
    using DropTarget = std::variant<Gap, Split>;

    struct Entry {
        std::unique_ptr<TextStorage> storage;  // text blocks only
        std::unique_ptr<BlockController> controller;
        QRectF frame;
        // Views of this block that were taken away but not yet deleted (their own event may still be
        // running): the controller and storage they use stay until viewGone() says they are gone.
        int lingeringViews = 0;
    };

    // Edits are stamped with `clock`'s time.
    BlockContainer(Note* note, NoteStore* store, const Clock& clock, const ResolvedNoteTheme& theme, NoteStyle style,
                   QObject* parent = nullptr);
    ~BlockContainer() override;

    // Makes the storage of a new text block; the view gives one that keeps a document in step.
    void setStorageFactory(std::function<std::unique_ptr<TextStorage>()> factory)
    {
        m_makeStorage = std::move(factory);
    }
    void setPreviewFiles(PreviewFiles* files) { m_previews = files; }
    PreviewFiles* previewFiles() const { return m_previews; }
    // The spelling the views of the text blocks check against; none checks nothing.
    void setSpellChecker(SpellChecker* checker) { m_spellChecker = checker; }
    SpellChecker* spellChecker() const { return m_spellChecker; }

    // (Re)loads the note; fresh clears the undo stack and puts the caret after the title line.
    void load(bool fresh);
    void setNote(Note* note);
    void setTheme(const ResolvedNoteTheme& theme);
    // Re-reads the body when someone else changed it; the undo stack goes, since its snapshots no
    // longer describe the body.
    void reconcile();
    // Takes in now a body changed elsewhere, rather than on the next turn: the store asks for it once
    // the change is whole, so a key already queued is typed into the changed body.
    void takeInChange();
    // Does now what waits for the next turn: taking in a changed body (one an unlock revealed) and
    // placing the caret. Keys already queued then reach the text instead of what held the focus before.
    void catchUp();
    // Whether the caret (in the block the user was last in, though its window may have lost the
    // keyboard since) stands at the very end of the note's body, out of the title line.
    bool caretAtBodyEnd() const;

    // Edits cannot be written back without loss: a newer or unreadable body, an unconverted legacy
    // body, sealed content, or the store's read-only set. Select and copy only.
    bool isReadOnly() const { return m_readOnly; }
    QString readOnlyNotice() const;

    const std::vector<Entry>& entries() const { return m_entries; }
    int blockCount() const { return int(m_entries.size()); }
    BlockController* controllerAt(int i) const { return m_entries[size_t(i)].controller.get(); }
    TextBlockController* textController(int i) const;
    ImageBlockController* imageController(int i) const;
    TextBlockController* focusedTextController() const;
    std::optional<QUuid> focusedBlockID() const { return m_focusedBlockID; }
    bool isEditing() const { return m_isEditing; }
    PictureCache& pictures() { return m_pictures; }

    // Changes whenever anything the blocks draw with changes (not paper or wallpaper, which the note
    // view draws): note, theme id and revision, font family, line height, ink.
    static QString themeStamp(const QUuid& noteID, const ResolvedNoteTheme& theme);

    static QVector<NoteBlock> normalisedForView(const QVector<NoteBlock>& blocks);
    static QVector<NoteBlock> normalised(const QVector<NoteBlock>& blocks);

    // Structural edits.
    void applyStructural(const BlockSnapshot& snapshot, const BlockSnapshot& reverse);
    void undo();
    void redo();

    // Typing in a long body is written back into the note after a pause in typing (at most a second
    // later) instead of at every key; this writes what is held back now. The store asks for it before
    // it saves or changes the body itself.
    static constexpr qsizetype deferWriteBackAbove = 262144;
    void flushEdits();
    bool hasHeldBackEdits() const { return !m_heldBackBlocks.isEmpty(); }

    // Frees the removed blocks that nothing refers to any more: no view and no undo step.
    void pruneParked();
    // A view of a removed block has been deleted.
    void viewGone(BlockController* controller);
    // True while the container is being destroyed: views of its blocks must go at once.
    bool isTearingDown() const { return m_tearingDown; }

    // Focus.
    void requestFocus(const std::optional<FocusDescriptor>& focus, const CaretPlacement& placement);
    bool holdsFirstResponder() const;
    void takeFirstResponder();

    // Geometry: the width of the container, the gutter, and the visible area (none without a scroll view).
    void setGutterWidth(qreal gutter);
    void setWidth(qreal width);
    void setViewport(qreal top, qreal height);
    qreal width() const { return m_width; }
    qreal gutterWidth() const { return m_gutter; }
    qreal viewportTop() const { return m_viewport ? m_viewport->first : 0; }
    std::optional<qreal> viewportHeight() const
    {
        return m_viewport ? std::optional<qreal>(m_viewport->second) : std::nullopt;
    }
    qreal contentHeight() const { return m_contentHeight; }
    void layout();

    // Pointer: a click no block took; a drop; the edge scroll of a drag.
    void clickAt(QPointF point);
    DropTarget dropTarget(QPointF point) const;
    qreal dropLineY(const DropTarget& target) const;
    bool drop(const std::vector<QByteArray>& pictures, QPointF point);
    bool autoscroll(QPointF point);
    // The caret or range (container coordinates) becomes visible: the editor scrolls, text views never do.
    void reveal(const QRectF& rect);
    // The range of a text block to highlight (location from the body start); none when it is outside.
    std::optional<std::pair<qsizetype, qsizetype>> flash(const std::optional<QUuid>& block, qint64 location,
                                                         qint64 length);

    // Format commands and flash requests posted for this note; its text blocks post their format state
    // there too.
    void observe(NotificationCenter& center);
    void handleFormatCommand(const QVariantMap& userInfo);
    void handleFlashRange(const QVariantMap& userInfo);

    // BlockHost
    QUuid noteID() const override;
    Note* note() const override { return m_note; }
    NoteStore* noteStore() const override { return m_store; }
    BaseStyle codecBase() const override;
    UndoManager* blockUndoManager() const override { return const_cast<UndoManager*>(&m_undo); }
    qreal paperWidth() const override { return std::max<qreal>(40, m_width - m_gutter - 10); }
    void blockNeedsLayout() override;
    void focusDidChange(const std::optional<QUuid>& blockID) override;
    void blockDidChange(const QUuid& blockID) override;
    bool moveFocus(const QUuid& from, BlockFocusDirection direction, std::optional<qreal> caretX) override;
    std::optional<int> indexOfBlock(const QUuid& blockID) const override;
    bool isLastBlock(const QUuid& blockID) const override;
    bool backspaceAtStart(const QUuid& blockID) override;
    bool deleteForwardAtEnd(const QUuid& blockID) override;
    void insertImages(const std::vector<QByteArray>& pictures, const QUuid& splitting, qsizetype at) override;
    void insertImages(const std::vector<QByteArray>& pictures, int gapIndex) override;
    void deleteImageBlock(const QUuid& blockID) override;
    void previewImageSizing(const QUuid& blockID, double fraction) override;
    void setImageSizing(const QUuid& blockID, const ImageSizing& sizing) override;
    std::optional<QUuid> insertTextBlock(const QUuid& after) override;
    void focusTextBeside(const QUuid& blockID) override;
    void reportSkipped(const QString& message) override;

Q_SIGNALS:
    void blockAdded(BlockController* controller, TextStorage* storage);
    void blockRemoving(BlockController* controller);
    // Frames, content height or order changed.
    void laidOut();
    // The editor asks its scroll view to show this top.
    void scrollRequested(qreal top);
    // The container itself should hold the keyboard focus (a focused block went away).
    void containerFocusRequested();
    void readOnlyChanged(bool readOnly);
    // A short message for the user.
    void notice(const QString& message);
    void flashRequested(TextBlockController* controller, qsizetype start, qsizetype length);
    // A format command was applied: the block's view takes the keyboard focus, keeping its selection.
    void textFocusRequested(TextBlockController* controller);

private:
    std::unique_ptr<BlockController> makeController(const NoteBlock& block, bool isTitle, TextStorage** storage);
    // With keepHistory, removed text blocks keep their undo steps: an undo or redo that brings a block
    // back reuses its controller, so the typing recorded against it still applies.
    void rebuild(const QVector<NoteBlock>& blocks, bool reloadEverything, bool keepHistory = false);
    void commitStructural(const QVector<NoteBlock>& blocks);
    QVector<NoteBlock> snapshots() const;
    QString currentTitle() const;
    NoteImage* rowFor(const QUuid& id);
    void refreshRows();
    void updateReadOnly();
    bool bodyUnwritable() const;
    void observeNote();
    void noteAttributeChanged(int attribute);
    std::vector<NoteImage*> storeRows(const std::vector<QByteArray>& pictures);
    std::optional<std::tuple<NoteBlock, NoteBlock, qsizetype>> cut(TextBlockController& controller, qsizetype at);
    ImageSizing newPictureSizing(const NoteImage& row) const;
    std::optional<TextBlockController*> nearestTextController(qreal y) const;
    void updatePictureBudget(bool mayRelease = true);
    void scheduleLayout();
    CaretPlacement entryPlacement() const;
    // After an unlock the keyboard belongs to the text: where the caret was before the lock, else the end.
    void focusAfterUnseal();

    QPointer<Note> m_note;
    NoteStore* m_store;
    const Clock& m_clock;
    ResolvedNoteTheme m_theme;
    NoteStyle m_style;
    UndoManager m_undo;
    std::vector<Entry> m_entries;
    // Removed blocks, kept while their view lingers or an undo step refers to them.
    std::vector<Entry> m_parked;
    bool m_tearingDown = false;
    std::function<std::unique_ptr<TextStorage>()> m_makeStorage;
    PictureCache m_pictures;
    PreviewFiles* m_previews = nullptr;
    QHash<QUuid, NoteImage*> m_rows;  // the note's picture rows, looked up once per load

    std::optional<QUuid> m_loadedNoteID;
    QString m_lastSeenBody;
    bool m_isEditing = false;
    bool m_isLoading = false;
    bool m_isLayingOut = false;
    bool m_layoutScheduled = false;
    bool m_loggedReadOnly = false;
    bool m_readOnly = false;
    bool m_reconcileScheduled = false;
    bool m_showingSealed = false;
    QMetaObject::Connection m_noteConnection;
    NotificationCenter* m_center = nullptr;
    SpellChecker* m_spellChecker = nullptr;
    ObserverToken m_commandObserver;
    ObserverToken m_flashObserver;

    std::optional<FocusDescriptor> m_pendingFocus;
    CaretPlacement m_pendingPlacement = CaretPlacement::offset(0);
    bool m_focusHopScheduled = false;
    std::optional<QUuid> m_focusedBlockID;
    // Where the caret stood (block index, offset) when a note was sealed while shown here; taken back
    // once it is unsealed, even after the window showed other notes meanwhile.
    QHash<QUuid, std::pair<int, qsizetype>> m_caretsBeforeSeal;
    QHash<QUuid, ImageSizing> m_resizeOriginals;

    void writeBack(const QSet<QUuid>& blockIDs);
    // Blocks edited since the last write-back into the note (long bodies only), and the timers that
    // end the wait: a pause in typing, or a second since the first key held back.
    QSet<QUuid> m_heldBackBlocks;
    QTimer* m_writeBackPause = nullptr;
    QTimer* m_writeBackLimit = nullptr;

    // The keystroke path re-encodes only the edited block: the others keep their last snapshot.
    mutable QVector<NoteBlock> m_snapshotCache;
    mutable std::optional<BaseStyle> m_baseDuringWrite;

    qreal m_width = 0;
    qreal m_gutter = 0;
    std::optional<std::pair<qreal, qreal>> m_viewport;  // top, height
    qreal m_contentHeight = 1;
};
