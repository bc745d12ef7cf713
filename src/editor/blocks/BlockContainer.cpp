#include "editor/blocks/BlockContainer.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

#include "design/HexColor.h"
#include "editor/blocks/ImageBlockController.h"
#include "editor/blocks/PreviewFiles.h"
#include "editor/text/TextStorage.h"
#include "model/Note.h"
#include "model/NoteBlockEnvelope.h"
#include "model/NoteBlockMigration.h"
#include "model/NoteDocument.h"
#include "model/NoteImage.h"
#include "model/NoteNotifications.h"
#include "model/TextRunsCodec.h"
#include "model/text/RichTextBridge.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "store/NoteStore.h"
#include "store/ResolvedNoteLook.h"

namespace {
constexpr qreal tolerance = 0.5;

NoteBlock emptyText()
{
    return NoteBlock::text(TextRuns{});
}
}  // namespace

BlockContainer::BlockContainer(Note* note, NoteStore* store, const Clock& clock, const ResolvedNoteTheme& theme,
                               NoteStyle style, QObject* parent)
    : QObject(parent), m_note(note), m_store(store), m_clock(clock), m_theme(theme), m_style(style)
{
    m_makeStorage = [] { return std::make_unique<MemoryTextStorage>(); };
    if (m_store) {
        connect(m_store, &NoteStore::readOnlyNoteIDsChanged, this, [this] { updateReadOnly(); });
        m_store->addPendingEdits(
            this, [this] { flushEdits(); }, [this] { takeInChange(); },
            [this](const QUuid& id) { return m_note && id == m_note->uuid() && caretAtBodyEnd(); });
    }
    m_writeBackPause = new QTimer(this);
    m_writeBackPause->setSingleShot(true);
    m_writeBackPause->setInterval(300);
    m_writeBackLimit = new QTimer(this);
    m_writeBackLimit->setSingleShot(true);
    m_writeBackLimit->setInterval(1000);
    connect(m_writeBackPause, &QTimer::timeout, this, &BlockContainer::flushEdits);
    connect(m_writeBackLimit, &QTimer::timeout, this, &BlockContainer::flushEdits);
    observeNote();
}

BlockContainer::~BlockContainer()
{
    flushEdits();
    m_tearingDown = true;
    for (Entry& entry : m_entries) Q_EMIT blockRemoving(entry.controller.get());
    m_entries.clear();
    m_parked.clear();
}

QUuid BlockContainer::noteID() const
{
    return m_note ? m_note->uuid() : QUuid();
}

void BlockContainer::setNote(Note* note)
{
    if (note == m_note) return;
    flushEdits();
    m_note = note;
    observeNote();
    if (m_center) observe(*m_center);
}

void BlockContainer::setTheme(const ResolvedNoteTheme& theme)
{
    m_theme = theme;
}

void BlockContainer::observe(NotificationCenter& center)
{
    m_center = &center;
    for (const Entry& entry : m_entries)
        if (auto* text = dynamic_cast<TextBlockController*>(entry.controller.get()))
            text->setNotificationCenter(m_center);
    const QString object = noteID().toString(QUuid::WithoutBraces).toUpper();
    m_commandObserver = center.observe(
        tarnwickFormatCommand, [this](const Notification& n) { handleFormatCommand(n.userInfo); }, object, this);
    m_flashObserver = center.observe(
        tarnwickFlashRange, [this](const Notification& n) { handleFlashRange(n.userInfo); }, object, this);
}

void BlockContainer::handleFormatCommand(const QVariantMap& userInfo)
{
    const QVariant raw = userInfo.value(QStringLiteral("command"));
    if (raw.typeId() != QMetaType::QString) return;
    const auto command = FormatCommands::fromRawValue(raw.toString());
    if (!command) return;
    if (*command == FormatCommand::focusBody) {
        if (!m_entries.empty())
            requestFocus(FocusDescriptor{m_entries.front().controller->id(), 0}, CaretPlacement::start());
        return;
    }
    TextBlockController* text = focusedTextController();
    if (!text || m_readOnly) return;
    text->apply(*command);
    Q_EMIT textFocusRequested(text);
    text->postFormatState();
}

void BlockContainer::handleFlashRange(const QVariantMap& userInfo)
{
    const QVariant location = userInfo.value(QStringLiteral("location"));
    const QVariant length = userInfo.value(QStringLiteral("length"));
    const auto isInt = [](const QVariant& v) {
        return v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong;
    };
    if (!isInt(location) || !isInt(length)) return;
    std::optional<QUuid> block;
    const QVariant b = userInfo.value(QStringLiteral("block"));
    if (b.typeId() == QMetaType::QUuid)
        block = b.toUuid();
    else if (b.typeId() == QMetaType::QString && !QUuid(b.toString()).isNull())
        block = QUuid(b.toString());
    flash(block, location.toLongLong(), length.toLongLong());
}

void BlockContainer::observeNote()
{
    disconnect(m_noteConnection);
    if (!m_note) return;
    m_noteConnection = connect(m_note, &ManagedObject::attributeChanged, this,
                               [this](int attribute) { noteAttributeChanged(attribute); });
}

void BlockContainer::noteAttributeChanged(int attribute)
{
    // Sealed while shown: the plain text and the history that holds it leave the screen at once.
    if (m_note && !m_showingSealed && m_note->isSealed()) {
        if (m_previews) m_previews->removeNote(m_note->uuid());
        // Unlocked again, the note puts the caret back where the user left it (the position only: the
        // text it stood in stays out of memory meanwhile).
        if (TextBlockController* text = focusedTextController())
            if (const auto index = indexOfBlock(text->id()))
                m_caretsBeforeSeal.insert(m_note->uuid(), {*index, text->textView().selection().location});
        load(true);
        return;
    }
    if (attribute != Note::Body || m_isEditing || m_reconcileScheduled) return;
    m_reconcileScheduled = true;
    MainQueue::nextTurn(this, [this] {
        if (std::exchange(m_reconcileScheduled, false)) reconcile();
    });
}

void BlockContainer::takeInChange()
{
    // While this container writes or loads, the change is its own or read by the load; the turn
    // scheduled for it stays.
    if (!m_reconcileScheduled || m_isEditing || m_isLoading) return;
    m_reconcileScheduled = false;
    reconcile();
}

void BlockContainer::catchUp()
{
    takeInChange();
    const auto pending = std::exchange(m_pendingFocus, std::nullopt);
    if (!pending) return;
    if (const auto i = indexOfBlock(pending->blockID)) controllerAt(*i)->focus(m_pendingPlacement);
}

bool BlockContainer::caretAtBodyEnd() const
{
    TextBlockController* text = focusedTextController();
    if (!text || m_readOnly || !isLastBlock(text->id())) return false;
    const TextViewModel& model = text->textView();
    const qsizetype caret = model.selection().location;
    if (caret != model.length()) return false;
    // A title block without its line break is all title line.
    return !text->isTitleBlock() || model.text().indexOf(u'\n') >= 0;
}

// ---- Read-only bodies ----

bool BlockContainer::bodyUnwritable() const
{
    if (!m_note) return true;
    if (m_note->isSealed()) return true;
    if (m_note->bodyBlocksData()) return !m_note->decodedBlocks();
    return m_note->hasBodyRichData();
}

void BlockContainer::updateReadOnly()
{
    const bool readOnly = bodyUnwritable() || (m_store && m_store->readOnlyNoteIDs().contains(noteID()));
    if (readOnly == m_readOnly) return;
    m_readOnly = readOnly;
    for (const Entry& entry : m_entries)
        if (auto* text = dynamic_cast<TextBlockController*>(entry.controller.get()))
            text->textView().setEditable(!readOnly);
    Q_EMIT readOnlyChanged(readOnly);
}

QString BlockContainer::readOnlyNotice() const
{
    if (!m_readOnly) return QString();
    if (m_note && m_note->isLocked()) return QStringLiteral("This note is locked. Unlock it to edit.");
    if (const auto data = m_note ? m_note->bodyBlocksData() : std::nullopt) {
        const auto decoded = NoteBlockEnvelope::decode(*data);
        if (!decoded && decoded.error().kind == NoteBlockEnvelope::Error::Kind::corrupt)
            return QStringLiteral("This note's body cannot be read; it is shown read-only so nothing is lost.");
    } else if (m_note && m_note->hasBodyRichData()) {
        return QStringLiteral("This note is in an older format that could not be converted; it is read-only here.");
    }
    return QStringLiteral("This note was saved by a newer version of Tarnwick; it is read-only here.");
}

// ---- Loading ----

QString BlockContainer::themeStamp(const QUuid& noteID, const ResolvedNoteTheme& theme)
{
    return QStringList{noteID.toString(QUuid::WithoutBraces).toUpper(),
                       theme.id,
                       QString::number(theme.revision),
                       theme.fontFamily.value_or(QStringLiteral("-")),
                       QString::number(theme.lineHeight),
                       hexString(theme.ink)}
        .join(u'#');
}

QVector<NoteBlock> BlockContainer::normalisedForView(const QVector<NoteBlock>& blocks)
{
    QVector<NoteBlock> list = NoteBlockMigration::mergingAdjacentText(blocks);
    for (NoteBlock& block : list)
        if (ImagePlacement* p = block.imagePlacement()) p->sizing = ImageBlockLayout::sanitized(p->sizing);
    if (list.isEmpty() || !list.first().isText()) list.prepend(emptyText());
    return list;
}

QVector<NoteBlock> BlockContainer::normalised(const QVector<NoteBlock>& blocks)
{
    QVector<NoteBlock> list = normalisedForView(blocks);
    if (!list.last().isText()) list.append(emptyText());
    return list;
}

void BlockContainer::refreshRows()
{
    m_rows.clear();
    if (!m_store || !m_note) return;
    for (NoteImage* row : m_store->images(m_note->uuid())) m_rows.insert(row->uuid(), row);
}

NoteImage* BlockContainer::rowFor(const QUuid& id)
{
    if (NoteImage* row = m_rows.value(id)) return row;
    // A row made after the load (a paste in another window of the same note).
    NoteImage* row = m_store ? m_store->image(id) : nullptr;
    if (row) m_rows.insert(id, row);
    return row;
}

void BlockContainer::load(bool fresh)
{
    if (!m_note) return;
    flushEdits();
    m_isLoading = true;
    if (fresh && m_loadedNoteID && *m_loadedNoteID != m_note->uuid() && m_store) {
        m_store->collectOrphanImages(*m_loadedNoteID);
        if (m_previews) m_previews->removeNote(*m_loadedNoteID);
    }
    if (m_store && !m_note->isSealed()) m_store->ensureMigrated(*m_note);
    if (fresh) m_undo.removeAllActions();
    refreshRows();
    m_readOnly = !m_readOnly;  // force the flags onto the blocks made below
    updateReadOnly();
    m_showingSealed = m_note->isSealed();
    QVector<NoteBlock> blocks = m_showingSealed ? QVector<NoteBlock>{} : m_note->blocks();
    rebuild(normalisedForView(blocks), true);
    m_lastSeenBody = m_note->body();
    m_loadedNoteID = m_note->uuid();
    if (fresh) {
        if (m_viewport) {
            m_viewport->first = 0;
            Q_EMIT scrollRequested(0);
        }
        // A sealed body shows nothing to type into.
        if (!m_entries.empty() && !m_showingSealed)
            requestFocus(FocusDescriptor{m_entries.front().controller->id(), 0}, entryPlacement());
    }
    m_isLoading = false;
}

void BlockContainer::reconcile()
{
    if (m_isEditing || !m_note) return;
    // An unlock may reveal a body that reads the same as the sealed one (a note with only a title).
    if (m_note->body() == m_lastSeenBody && m_showingSealed == m_note->isSealed()) return;
    // Whoever changed the body asked the store to write held-back keys first; any still held were
    // typed over a body that has since changed under them, and the body as it now stands wins.
    if (!m_heldBackBlocks.isEmpty())
        qCInfo(Log::store, "blocks: the body changed elsewhere; %lld edited blocks re-read",
               qlonglong(m_heldBackBlocks.size()));
    m_heldBackBlocks.clear();
    m_writeBackPause->stop();
    m_writeBackLimit->stop();
    if (m_store && !m_note->isSealed()) m_store->ensureMigrated(*m_note);
    refreshRows();
    updateReadOnly();
    const bool unsealed = m_showingSealed && !m_note->isSealed();
    m_showingSealed = m_note->isSealed();
    rebuild(normalisedForView(m_showingSealed ? QVector<NoteBlock>{} : m_note->blocks()), false);
    // Undoing a snapshot taken before this change would drop what was added elsewhere.
    m_undo.removeAllActions();
    pruneParked();
    if (unsealed) focusAfterUnseal();
    if (TextBlockController* first = textController(0); first && first->isTitleBlock() && !first->isFocused()) {
        const QString shownTitle = NoteDocument::title(first->textView().storage().attributedText());
        if (shownTitle != m_note->title()) first->apply(first->snapshot());
    }
    m_lastSeenBody = m_note->body();
}

std::unique_ptr<BlockController> BlockContainer::makeController(const NoteBlock& block, bool isTitle,
                                                                TextStorage** storageOut)
{
    if (const ImagePlacement* placement = block.imagePlacement()) {
        *storageOut = nullptr;
        return std::make_unique<ImageBlockController>(
            block.id, *placement, this, [this](const QUuid& id) { return rowFor(id); }, &m_pictures);
    }
    auto storage = m_makeStorage();
    *storageOut = storage.release();
    auto controller = std::make_unique<TextBlockController>(block.id, this, isTitle, m_theme, m_style, **storageOut);
    controller->setNotificationCenter(m_center);
    controller->textView().setEditable(!m_readOnly);
    controller->load(*block.textRuns(),
                     isTitle ? std::optional<QString>(m_note ? m_note->title() : QString()) : std::nullopt,
                     std::nullopt);
    return controller;
}

void BlockContainer::rebuild(const QVector<NoteBlock>& blocks, bool reloadEverything, bool keepHistory)
{
    QHash<QUuid, size_t> index;
    for (size_t i = 0; i < m_entries.size(); ++i) index.insert(m_entries[i].controller->id(), i);
    std::vector<bool> taken(m_entries.size(), false);
    std::vector<Entry> next;
    std::vector<std::pair<BlockController*, TextStorage*>> added;
    next.reserve(size_t(blocks.size()));
    auto fits = [](BlockController* c, const NoteBlock& block, bool isTitle) {
        auto* text = dynamic_cast<TextBlockController*>(c);
        return c->matches(block) && (!text || text->isTitleBlock() == isTitle);
    };
    // A text block that holds more than its view shows (a body grown at its end) differs from it: the
    // view's text is not encoded to tell.
    auto grew = [](BlockController* c, const NoteBlock& block) {
        auto* text = dynamic_cast<TextBlockController*>(c);
        if (!text || !block.textRuns()) return false;
        const AttributedText& shown = text->textView().storage().attributedText();
        const qsizetype body = shown.length() - (text->isTitleBlock() ? NoteDocument::bodyStart(shown) : 0);
        return block.textRuns()->text.size() > body;
    };
    auto refresh = [&](BlockController* c, const NoteBlock& block) {
        if (reloadEverything || grew(c, block) || !(c->snapshot() == block)) {
            // A block that now shows another picture forgets the old one's preview file.
            if (auto* picture = dynamic_cast<ImageBlockController*>(c);
                picture && m_previews && picture->placement().imageID != block.imagePlacement()->imageID)
                m_previews->removePicture(picture->placement().imageID);
            if (auto* text = dynamic_cast<TextBlockController*>(c); text && keepHistory)
                text->applyKeepingHistory(block);
            else
                c->apply(block);
        }
    };
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        const NoteBlock& block = blocks[i];
        const bool isTitle = i == 0;
        auto it = index.constFind(block.id);
        if (it != index.constEnd() && !taken[*it] && fits(m_entries[*it].controller.get(), block, isTitle)) {
            taken[*it] = true;
            refresh(m_entries[*it].controller.get(), block);
            next.push_back(std::move(m_entries[*it]));
            continue;
        }
        // A block an undo or redo brings back takes up its old controller, with its history.
        auto parked = std::find_if(m_parked.begin(), m_parked.end(), [&](const Entry& e) {
            return e.controller->id() == block.id && fits(e.controller.get(), block, isTitle);
        });
        if (parked != m_parked.end()) {
            Entry entry = std::move(*parked);
            m_parked.erase(parked);
            refresh(entry.controller.get(), block);
            added.emplace_back(entry.controller.get(), entry.storage.get());
            next.push_back(std::move(entry));
            continue;
        }
        TextStorage* storage = nullptr;
        Entry entry;
        entry.controller = makeController(block, isTitle, &storage);
        entry.storage.reset(storage);
        added.emplace_back(entry.controller.get(), storage);
        next.push_back(std::move(entry));
    }
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (taken[i] || !m_entries[i].controller) continue;
        BlockController* c = m_entries[i].controller.get();
        if (c->isFocused()) Q_EMIT containerFocusRequested();
        if (auto* text = dynamic_cast<TextBlockController*>(c); text && !keepHistory)
            m_undo.removeAllActions(&text->textView());
        // The view may be running one of its own events (a menu it opened): it goes later, and the
        // controller and storage it uses stay until then.
        if (c->view()) ++m_entries[i].lingeringViews;
        Q_EMIT blockRemoving(c);
        m_parked.push_back(std::move(m_entries[i]));
    }
    m_entries = std::move(next);
    for (const auto& [controller, storage] : added) Q_EMIT blockAdded(controller, storage);
    m_snapshotCache.clear();
    pruneParked();
    layout();
}

void BlockContainer::viewGone(BlockController* controller)
{
    for (std::vector<Entry>* list : {&m_entries, &m_parked})
        for (Entry& e : *list)
            if (e.controller.get() == controller && e.lingeringViews > 0) --e.lingeringViews;
    pruneParked();
}

void BlockContainer::pruneParked()
{
    std::erase_if(m_parked, [this](const Entry& e) {
        if (e.lingeringViews > 0) return false;
        auto* text = dynamic_cast<TextBlockController*>(e.controller.get());
        return !text || !m_undo.hasActions(&text->textView());
    });
}

// ---- Writing ----

BaseStyle BlockContainer::codecBase() const
{
    if (m_baseDuringWrite) return *m_baseDuringWrite;
    ResolvedNoteTheme lookTheme = m_theme;
    if (m_store && m_note) lookTheme = m_store->look(*m_note).theme;
    BaseStyle base;
    base.font = RichTextBridge::baseFont(lookTheme);
    base.color = lookTheme.ink;
    base.paragraphStyle = RichTextBridge::bodyParagraphStyle(m_theme);
    return base;
}

QVector<NoteBlock> BlockContainer::snapshots() const
{
    QVector<NoteBlock> list;
    list.reserve(qsizetype(m_entries.size()));
    for (const Entry& entry : m_entries) list.push_back(entry.controller->snapshot());
    return list;
}

QString BlockContainer::currentTitle() const
{
    if (TextBlockController* first = textController(0); first && first->isTitleBlock())
        return NoteDocument::title(first->textView().storage().attributedText());
    return m_note ? m_note->title() : QString();
}

void BlockContainer::blockDidChange(const QUuid& blockID)
{
    if (m_isLoading || !m_note) return;
    if (m_readOnly) {
        if (!m_loggedReadOnly) {
            m_loggedReadOnly = true;
            qCInfo(Log::store, "blocks: this note's body is from a newer build; the editor is read-only");
        }
        return;
    }
    // In a long body, keys are gathered and written back together after a pause (or a second): the
    // write costs the whole body, and a key should cost the edit.
    if (m_note->body().size() > deferWriteBackAbove) {
        m_heldBackBlocks.insert(blockID);
        m_writeBackPause->start();
        if (!m_writeBackLimit->isActive()) m_writeBackLimit->start();
        return;
    }
    writeBack({blockID});
}

void BlockContainer::flushEdits()
{
    m_writeBackPause->stop();
    m_writeBackLimit->stop();
    if (m_heldBackBlocks.isEmpty()) return;
    const QSet<QUuid> blocks = std::exchange(m_heldBackBlocks, {});
    // A note sealed meanwhile takes no plain text (the store flushes before it seals).
    if (!m_note || m_note->isSealed() || m_readOnly || m_isLoading) return;
    writeBack(blocks);
}

void BlockContainer::writeBack(const QSet<QUuid>& blockIDs)
{
    m_baseDuringWrite = codecBase();
    if (m_snapshotCache.size() != qsizetype(m_entries.size())) {
        m_snapshotCache = snapshots();
    } else {
        for (size_t i = 0; i < m_entries.size(); ++i)
            if (blockIDs.contains(m_entries[i].controller->id()))
                m_snapshotCache[qsizetype(i)] = m_entries[i].controller->snapshot();
    }
    QVector<NoteBlock> blocks = m_snapshotCache;
    m_baseDuringWrite.reset();
    const QVector<NoteBlock> norm = normalised(blocks);
    if (norm.size() != blocks.size()) {
        rebuild(norm, false);
        blocks = norm;
    }
    const QString title = currentTitle();
    const auto bytes = NoteBlockEnvelope::encode(blocks);
    if (!bytes) return;
    if (title == m_note->title() && *bytes == m_note->bodyBlocksData().value_or(QByteArray())) return;
    m_isEditing = true;
    // The same writes as Note::setBlocks, with the bytes already encoded here.
    m_note->setBodyBlocksData(*bytes);
    m_note->rememberBlocks(*bytes, blocks);
    m_note->setBody(Note::projectedBody(blocks));
    if (m_note->hasBodyRichData()) m_note->setBodyRichData(std::nullopt);
    if (title != m_note->title()) m_note->setTitle(title);
    m_note->setUpdatedAt(m_clock.now());
    m_lastSeenBody = m_note->body();
    m_isEditing = false;
}

void BlockContainer::commitStructural(const QVector<NoteBlock>& blocks)
{
    if (m_readOnly || !m_note) return;
    flushEdits();
    const QString title = currentTitle();
    m_isEditing = true;
    if (m_note->setBlocks(blocks)) {
        if (title != m_note->title()) m_note->setTitle(title);
        m_note->setUpdatedAt(m_clock.now());
        if (m_store) m_store->saveNow();
    }
    m_lastSeenBody = m_note->body();
    m_isEditing = false;
    m_snapshotCache.clear();
}

// ---- Structural edits ----

void BlockContainer::applyStructural(const BlockSnapshot& snapshot, const BlockSnapshot& reverse)
{
    flushEdits();
    m_undo.registerUndo(this, [this, reverse, snapshot] { applyStructural(reverse, snapshot); });
    rebuild(snapshot.blocks, false, true);
    commitStructural(snapshot.blocks);
    if (snapshot.focus) requestFocus(snapshot.focus, CaretPlacement::offset(snapshot.focus->caret));
}

void BlockContainer::undo()
{
    if (m_undo.canUndo()) m_undo.undo();
}

void BlockContainer::redo()
{
    if (m_undo.canRedo()) m_undo.redo();
}

std::vector<NoteImage*> BlockContainer::storeRows(const std::vector<QByteArray>& pictures)
{
    std::vector<NoteImage*> rows;
    if (!m_store || !m_note) return rows;
    QHash<QString, NoteImage*> byHash = m_store->rowsByHash(m_note->uuid());
    for (const QByteArray& bytes : pictures) {
        if (NoteImage* row = m_store->insertImageRow(bytes, m_note->uuid(), byHash)) {
            m_store->saveNow();
            m_rows.insert(row->uuid(), row);
            rows.push_back(row);
        }
    }
    return rows;
}

ImageSizing BlockContainer::newPictureSizing(const NoteImage& row) const
{
    return ImageBlockLayout::insertionSizing(QSize(int(row.pixelWidth()), int(row.pixelHeight())), paperWidth(),
                                             viewportHeight());
}

std::optional<std::tuple<NoteBlock, NoteBlock, qsizetype>> BlockContainer::cut(TextBlockController& controller,
                                                                               qsizetype at)
{
    BaseStyle base = codecBase();
    base.paragraphStyle = ParagraphStyle{};
    AttributedText text = controller.textView().storage().attributedText();
    const qsizetype start = controller.isTitleBlock() ? NoteDocument::bodyStart(text) : 0;
    const qsizetype c = std::max(start, std::clamp<qsizetype>(at, 0, text.length()));
    AttributedText head = text.mid(start, c - start);
    AttributedText tail = text.mid(c, text.length() - c);
    head.removeAll(QChar(QChar::ObjectReplacementCharacter));
    tail.removeAll(QChar(QChar::ObjectReplacementCharacter));
    return std::make_tuple(NoteBlock::text(TextRunsCodec::encode(head, base), controller.id()),
                           NoteBlock::text(TextRunsCodec::encode(tail, base)), c);
}

void BlockContainer::insertImages(const std::vector<QByteArray>& pictures, const QUuid& splitting, qsizetype at)
{
    if (m_readOnly) {
        Q_EMIT notice(QStringLiteral("This note is read-only; the picture was not added."));
        return;
    }
    const auto i = indexOfBlock(splitting);
    TextBlockController* controller = i ? textController(*i) : nullptr;
    if (!controller) return;
    const auto pieces = cut(*controller, at);
    if (!pieces) return;
    const std::vector<NoteImage*> rows = storeRows(pictures);
    if (rows.empty()) {
        qCInfo(Log::store, "blocks: a pasted picture would not store; the note is unchanged");
        Q_EMIT notice(QStringLiteral("The picture could not be added."));
        return;
    }
    const auto& [head, tail, caret] = *pieces;
    BlockSnapshot before{snapshots(), FocusDescriptor{splitting, caret}};
    QVector<NoteBlock> replacement{head};
    for (NoteImage* row : rows)
        replacement.push_back(NoteBlock::image(ImagePlacement{row->uuid(), newPictureSizing(*row)}));
    replacement.push_back(tail);
    QVector<NoteBlock> blocks = before.blocks;
    blocks.remove(*i);
    for (qsizetype k = 0; k < replacement.size(); ++k) blocks.insert(*i + k, replacement[k]);
    applyStructural(BlockSnapshot{normalised(blocks), FocusDescriptor{tail.id, 0}}, before);
}

void BlockContainer::insertImages(const std::vector<QByteArray>& pictures, int gapIndex)
{
    if (m_readOnly) {
        Q_EMIT notice(QStringLiteral("This note is read-only; the picture was not added."));
        return;
    }
    const std::vector<NoteImage*> rows = storeRows(pictures);
    if (rows.empty()) {
        qCInfo(Log::store, "blocks: a dropped picture would not store; the note is unchanged");
        Q_EMIT notice(QStringLiteral("The picture could not be added."));
        return;
    }
    BlockSnapshot before{snapshots(), std::nullopt};
    QVector<NoteBlock> blocks = before.blocks;
    const int k = std::max(1, std::min(gapIndex, int(blocks.size())));
    QUuid first;
    for (size_t n = 0; n < rows.size(); ++n) {
        NoteBlock block = NoteBlock::image(ImagePlacement{rows[n]->uuid(), newPictureSizing(*rows[n])});
        if (n == 0) first = block.id;
        blocks.insert(k + qsizetype(n), block);
    }
    applyStructural(BlockSnapshot{normalised(blocks), FocusDescriptor{first, 0}}, before);
}

void BlockContainer::deleteImageBlock(const QUuid& id)
{
    if (m_readOnly) return;
    const auto found = indexOfBlock(id);
    if (!found || !imageController(*found)) return;
    const int i = *found;
    if (controllerAt(i)->isFocused()) Q_EMIT containerFocusRequested();
    const QVector<NoteBlock> all = snapshots();
    QVector<NoteBlock> blocks = all;
    blocks.remove(i);
    std::optional<FocusDescriptor> focus;
    if (i > 0 && textController(i - 1)) {
        TextBlockController* before = textController(i - 1);
        focus = FocusDescriptor{before->id(), before->textView().length()};
        // The two text blocks are joined; their typing history no longer fits the joined text.
        m_undo.removeAllActions(&before->textView());
        if (i + 1 < blockCount())
            if (TextBlockController* after = textController(i + 1)) m_undo.removeAllActions(&after->textView());
    } else if (i < int(blocks.size()) && blocks[i].isText()) {
        focus = FocusDescriptor{blocks[i].id, 0};
    }
    applyStructural(BlockSnapshot{normalised(blocks), focus}, BlockSnapshot{all, FocusDescriptor{id, 0}});
}

std::optional<QUuid> BlockContainer::insertTextBlock(const QUuid& after)
{
    if (m_readOnly) return std::nullopt;
    const auto found = indexOfBlock(after);
    if (!found) return std::nullopt;
    const int i = *found;
    if (i + 1 < blockCount() && textController(i + 1)) {
        const QUuid next = controllerAt(i + 1)->id();
        requestFocus(FocusDescriptor{next, 0}, CaretPlacement::start());
        return next;
    }
    const QVector<NoteBlock> all = snapshots();
    QVector<NoteBlock> blocks = all;
    const NoteBlock block = emptyText();
    blocks.insert(i + 1, block);
    applyStructural(BlockSnapshot{normalised(blocks), FocusDescriptor{block.id, 0}}, BlockSnapshot{all, std::nullopt});
    return block.id;
}

bool BlockContainer::backspaceAtStart(const QUuid& id)
{
    const auto i = indexOfBlock(id);
    if (!i || *i == 0 || !imageController(*i - 1)) return false;
    controllerAt(*i - 1)->focus(CaretPlacement::start());
    return true;
}

bool BlockContainer::deleteForwardAtEnd(const QUuid& id)
{
    const auto i = indexOfBlock(id);
    if (!i || *i + 1 >= blockCount() || !imageController(*i + 1)) return false;
    controllerAt(*i + 1)->focus(CaretPlacement::start());
    return true;
}

void BlockContainer::previewImageSizing(const QUuid& id, double fraction)
{
    const auto i = indexOfBlock(id);
    ImageBlockController* picture = i ? imageController(*i) : nullptr;
    if (!picture || !std::isfinite(fraction) || m_readOnly) return;
    if (!m_resizeOriginals.contains(id)) m_resizeOriginals.insert(id, picture->placement().sizing);
    picture->setSizing(ImageSizing::makeFraction(std::clamp(fraction, 0.02, 1.0)));
    layout();
}

void BlockContainer::setImageSizing(const QUuid& id, const ImageSizing& requested)
{
    if (m_readOnly) return;
    const auto i = indexOfBlock(id);
    ImageBlockController* picture = i ? imageController(*i) : nullptr;
    if (!picture) return;
    const ImageSizing sizing = ImageBlockLayout::sanitized(requested);
    ImageSizing starting;
    if (auto it = m_resizeOriginals.find(id); it != m_resizeOriginals.end()) {
        starting = *it;
        m_resizeOriginals.erase(it);
    } else {
        starting = picture->placement().sizing;
        if (starting == sizing) return;
    }
    m_undo.registerUndo(this, [this, id, starting] { setImageSizing(id, starting); });
    picture->setSizing(sizing);
    layout();
    commitStructural(snapshots());
}

// ---- Focus ----

void BlockContainer::requestFocus(const std::optional<FocusDescriptor>& focus, const CaretPlacement& placement)
{
    if (!focus) return;
    m_pendingFocus = focus;
    m_pendingPlacement = placement;
    if (m_focusHopScheduled) return;
    m_focusHopScheduled = true;
    MainQueue::nextTurn(this, [this] {
        m_focusHopScheduled = false;
        const auto pending = std::exchange(m_pendingFocus, std::nullopt);
        if (!pending) return;
        if (const auto i = indexOfBlock(pending->blockID)) controllerAt(*i)->focus(m_pendingPlacement);
    });
}

void BlockContainer::focusDidChange(const std::optional<QUuid>& id)
{
    if (id == m_focusedBlockID) return;
    // The find bar belongs to the block being left.
    if (m_focusedBlockID)
        if (const auto i = indexOfBlock(*m_focusedBlockID))
            if (TextBlockController* left = textController(*i)) left->hideFindBar();
    m_focusedBlockID = id;
    // The body reads as one document with one selection: the block taking the focus takes it, and a
    // selection left in another block would still be drawn as if it were the one typing replaces.
    if (!id) return;
    for (int i = 0; i < blockCount(); ++i) {
        TextBlockController* text = textController(i);
        if (!text || text->id() == *id) continue;
        TextViewModel& model = text->textView();
        if (model.selection().length > 0) model.setCaret(model.selection().end());
    }
}

TextBlockController* BlockContainer::focusedTextController() const
{
    for (int i = 0; i < blockCount(); ++i)
        if (TextBlockController* text = textController(i); text && text->isFocused()) return text;
    if (m_focusedBlockID)
        if (const auto i = indexOfBlock(*m_focusedBlockID)) return textController(*i);
    return nullptr;
}

bool BlockContainer::moveFocus(const QUuid& from, BlockFocusDirection direction, std::optional<qreal> caretX)
{
    const auto i = indexOfBlock(from);
    if (!i) return false;
    const bool back = direction == BlockFocusDirection::up || direction == BlockFocusDirection::left;
    const int target = *i + (back ? -1 : 1);
    if (target < 0 || target >= blockCount()) return false;
    BlockController* c = controllerAt(target);
    if (!textController(target)) {
        c->focus(CaretPlacement::start());
        return true;
    }
    const qreal x = caretX.value_or(0);
    switch (direction) {
        case BlockFocusDirection::up:
            c->focus(CaretPlacement::sameX(x, false));
            break;
        case BlockFocusDirection::down:
            c->focus(CaretPlacement::sameX(x, true));
            break;
        case BlockFocusDirection::left:
            c->focus(CaretPlacement::end());
            break;
        case BlockFocusDirection::right:
            c->focus(CaretPlacement::documentStart());
            break;
    }
    return true;
}

std::optional<int> BlockContainer::indexOfBlock(const QUuid& id) const
{
    for (int i = 0; i < blockCount(); ++i)
        if (m_entries[size_t(i)].controller->id() == id) return i;
    return std::nullopt;
}

bool BlockContainer::isLastBlock(const QUuid& id) const
{
    return !m_entries.empty() && m_entries.back().controller->id() == id;
}

TextBlockController* BlockContainer::textController(int i) const
{
    if (i < 0 || i >= blockCount()) return nullptr;
    return dynamic_cast<TextBlockController*>(m_entries[size_t(i)].controller.get());
}

ImageBlockController* BlockContainer::imageController(int i) const
{
    if (i < 0 || i >= blockCount()) return nullptr;
    return dynamic_cast<ImageBlockController*>(m_entries[size_t(i)].controller.get());
}

bool BlockContainer::holdsFirstResponder() const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [](const Entry& e) { return e.controller->isFocused(); });
}

void BlockContainer::takeFirstResponder()
{
    if (m_focusedBlockID)
        if (const auto i = indexOfBlock(*m_focusedBlockID))
            if (TextBlockController* text = textController(*i)) {
                text->focus(CaretPlacement::offset(text->textView().selection().location));
                return;
            }
    if (TextBlockController* first = textController(0)) requestFocus(FocusDescriptor{first->id(), 0}, entryPlacement());
}

void BlockContainer::focusAfterUnseal()
{
    // Blocks are found by index: the ids of blocks made up for an empty body change with every load.
    if (const auto before = m_caretsBeforeSeal.find(m_note->uuid()); before != m_caretsBeforeSeal.end()) {
        const auto [index, caret] = *before;
        m_caretsBeforeSeal.erase(before);
        if (TextBlockController* text = textController(index)) {
            requestFocus(FocusDescriptor{text->id(), caret}, CaretPlacement::offset(caret));
            return;
        }
    }
    for (int i = blockCount() - 1; i >= 0; --i)
        if (TextBlockController* text = textController(i)) {
            // A title with no body after it: the end of the title line.
            const QString shown = text->textView().text();
            const qsizetype newline = shown.indexOf(u'\n');
            const bool bodyless = text->isTitleBlock() && newline >= 0 && newline + 1 == shown.size();
            const qsizetype caret = bodyless ? newline : shown.size();
            requestFocus(FocusDescriptor{text->id(), caret}, CaretPlacement::offset(caret));
            return;
        }
}

CaretPlacement BlockContainer::entryPlacement() const
{
    // A note with nothing in it yet starts with its title line; any other at the start of its body.
    if (m_note && m_note->title().isEmpty() && m_note->body().isEmpty()) return CaretPlacement::documentStart();
    return CaretPlacement::start();
}

void BlockContainer::focusTextBeside(const QUuid& id)
{
    const auto found = indexOfBlock(id);
    if (!found) return;
    const int i = *found;
    if (TextBlockController* next = textController(i + 1)) {
        next->focus(CaretPlacement::start());
        return;
    }
    if (i == 0) return;
    if (TextBlockController* before = textController(i - 1)) before->focus(CaretPlacement::end());
}

void BlockContainer::reportSkipped(const QString& message)
{
    Q_EMIT notice(message);
}

// ---- Geometry ----

void BlockContainer::setGutterWidth(qreal gutter)
{
    if (std::abs(gutter - m_gutter) <= tolerance) return;
    m_gutter = gutter;
    layout();
}

void BlockContainer::setWidth(qreal width)
{
    if (std::abs(width - m_width) <= tolerance) return;
    m_width = width;
    layout();
}

void BlockContainer::setViewport(qreal top, qreal height)
{
    const bool changed = !m_viewport || std::abs(m_viewport->first - top) > tolerance ||
                         std::abs(m_viewport->second - height) > tolerance;
    m_viewport = std::make_pair(std::max<qreal>(0, top), height);
    if (changed) {
        if (std::abs(height - m_contentHeight) > tolerance) layout();
        updatePictureBudget();
    }
}

void BlockContainer::blockNeedsLayout()
{
    if (m_isLayingOut || m_isLoading) return;
    scheduleLayout();
}

void BlockContainer::scheduleLayout()
{
    if (m_layoutScheduled) return;
    m_layoutScheduled = true;
    MainQueue::nextTurn(this, [this] {
        m_layoutScheduled = false;
        layout();
    });
}

void BlockContainer::layout()
{
    if (m_isLayingOut) return;
    m_isLayingOut = true;
    const qreal textWidth = std::max<qreal>(m_width - m_gutter, 40);
    const qreal pictureWidth = paperWidth();
    const qreal visibleTop = viewportTop();
    qreal y = 0;
    qreal adjust = 0;
    for (Entry& entry : m_entries) {
        const bool picture = dynamic_cast<ImageBlockController*>(entry.controller.get()) != nullptr;
        const qreal w = picture ? pictureWidth : textWidth;
        const qreal x = picture ? m_gutter + 5 : m_gutter;
        const qreal h = entry.controller->heightForWidth(w);
        const QRectF frame(x, y, w, h);
        if (frame != entry.frame) {
            // Blocks above the visible area that change height would push the text being read.
            if (entry.frame.isValid() && entry.frame.bottom() <= visibleTop &&
                std::abs(entry.frame.height() - h) > tolerance)
                adjust += h - entry.frame.height();
            entry.frame = frame;
        }
        y += h;
    }
    m_contentHeight = std::max<qreal>(1, m_viewport ? std::max(y, m_viewport->second) : y);
    std::optional<qreal> anchoredTop;
    if (m_viewport && std::abs(adjust) > tolerance) {
        anchoredTop = std::max<qreal>(0, m_viewport->first + adjust);
        m_viewport->first = *anchoredTop;
    }
    m_isLayingOut = false;
    updatePictureBudget(false);
    Q_EMIT laidOut();
    // Scrolled only once the body has its new height, which may have clamped the scroll on its way:
    // near the end of a note the old height would hold a grown body's scroll short of its place, and
    // the new one a shrunk body's beyond it, and the text being read would move after all.
    if (anchoredTop && m_viewport) {
        m_viewport->first = *anchoredTop;
        Q_EMIT scrollRequested(*anchoredTop);
    }
}

void BlockContainer::updatePictureBudget(bool mayRelease)
{
    // Pictures within about two visible heights of the visible area hold their pixels; scrolling past a
    // wider band releases them, so a small scroll back and forth decodes nothing again. Layout only
    // acquires: heights that change with the width must not release and decode the same picture again.
    const qreal top = viewportTop();
    const qreal height = m_viewport ? m_viewport->second : std::max<qreal>(m_contentHeight, 800);
    for (Entry& entry : m_entries) {
        auto* picture = dynamic_cast<ImageBlockController*>(entry.controller.get());
        if (!picture) continue;
        const qreal distance = entry.frame.bottom() < top         ? top - entry.frame.bottom()
                               : entry.frame.top() > top + height ? entry.frame.top() - (top + height)
                                                                  : 0;
        if (distance <= 2 * height)
            picture->setNearViewport(true);
        else if (mayRelease && distance > 3 * height)
            picture->setNearViewport(false);
    }
}

std::optional<TextBlockController*> BlockContainer::nearestTextController(qreal y) const
{
    std::vector<const Entry*> texts;
    for (const Entry& e : m_entries)
        if (dynamic_cast<TextBlockController*>(e.controller.get())) texts.push_back(&e);
    if (texts.empty()) return std::nullopt;
    for (const Entry* e : texts)
        if (e->frame.top() <= y && y <= e->frame.bottom())
            return static_cast<TextBlockController*>(e->controller.get());
    for (auto it = texts.rbegin(); it != texts.rend(); ++it)
        if ((*it)->frame.bottom() <= y) return static_cast<TextBlockController*>((*it)->controller.get());
    return static_cast<TextBlockController*>(texts.front()->controller.get());
}

void BlockContainer::clickAt(QPointF p)
{
    for (const Entry& e : m_entries) {
        if (e.frame.top() <= p.y() && p.y() < e.frame.bottom()) {
            if (dynamic_cast<ImageBlockController*>(e.controller.get())) {
                focusTextBeside(e.controller->id());
                return;
            }
            break;
        }
    }
    const auto text = nearestTextController(p.y());
    if (!text) return;
    TextBlockController* t = *text;
    const QRectF frame = m_entries[size_t(*indexOfBlock(t->id()))].frame;
    if (const TextGeometry* g = t->textView().geometry())
        t->focus(CaretPlacement::offset(g->characterIndexAt(p - frame.topLeft())));
    else
        t->focus(CaretPlacement::end());
}

BlockContainer::DropTarget BlockContainer::dropTarget(QPointF p) const
{
    for (const Entry& e : m_entries) {
        if (!(e.frame.top() <= p.y() && p.y() < e.frame.bottom())) continue;
        if (auto* text = dynamic_cast<TextBlockController*>(e.controller.get())) {
            const BlockBoundary b = text->dropBoundary(p - e.frame.topLeft());
            return Split{text->id(), b.offset, b.lineY + e.frame.top()};
        }
        break;
    }
    int i = blockCount();
    for (int k = 0; k < blockCount(); ++k) {
        if (p.y() < m_entries[size_t(k)].frame.center().y()) {
            i = k;
            break;
        }
    }
    return Gap{std::max(1, i)};
}

qreal BlockContainer::dropLineY(const DropTarget& target) const
{
    if (const auto* split = std::get_if<Split>(&target)) return split->lineY;
    const int i = std::get<Gap>(target).index;
    if (m_entries.empty()) return 0;
    if (i < blockCount()) return m_entries[size_t(i)].frame.top();
    return m_entries.back().frame.bottom();
}

bool BlockContainer::drop(const std::vector<QByteArray>& pictures, QPointF p)
{
    if (pictures.empty() || m_readOnly) return false;
    const DropTarget target = dropTarget(p);
    if (const auto* split = std::get_if<Split>(&target))
        insertImages(pictures, split->block, split->caret);
    else
        insertImages(pictures, std::get<Gap>(target).index);
    return true;
}

bool BlockContainer::autoscroll(QPointF p)
{
    if (!m_viewport || !(m_viewport->second > 0)) return false;
    const qreal top = m_viewport->first;
    const qreal bottom = top + m_viewport->second;
    qreal step = 0;
    if (p.y() - top < 24)
        step = -14;
    else if (bottom - p.y() < 24)
        step = 14;
    else
        return false;
    const qreal y = std::clamp<qreal>(top + step, 0, std::max<qreal>(m_contentHeight - m_viewport->second, 0));
    if (std::abs(y - top) <= tolerance) return false;
    m_viewport->first = y;
    Q_EMIT scrollRequested(y);
    updatePictureBudget();
    return true;
}

void BlockContainer::reveal(const QRectF& rect)
{
    if (!m_viewport) return;
    const qreal top = m_viewport->first;
    const qreal height = m_viewport->second;
    qreal y = top;
    if (rect.top() < top)
        y = rect.top();
    else if (rect.bottom() > top + height)
        y = std::min(rect.top(), rect.bottom() - height);
    y = std::clamp<qreal>(y, 0, std::max<qreal>(m_contentHeight - height, 0));
    if (std::abs(y - top) <= tolerance) return;
    m_viewport->first = y;
    Q_EMIT scrollRequested(y);
    updatePictureBudget();
}

std::optional<std::pair<qsizetype, qsizetype>> BlockContainer::flash(const std::optional<QUuid>& block, qint64 location,
                                                                     qint64 length)
{
    if (location < 0 || length <= 0) return std::nullopt;
    TextBlockController* target = nullptr;
    if (block) {
        const auto i = indexOfBlock(*block);
        target = i ? textController(*i) : nullptr;
    } else {
        for (int i = blockCount() - 1; i >= 0 && !target; --i) target = textController(i);
    }
    if (!target) return std::nullopt;
    const AttributedText& text = target->textView().storage().attributedText();
    const qint64 base = target->isTitleBlock() ? NoteDocument::bodyStart(text) : 0;
    const qint64 n = text.length();
    // Both checks before any sum, so a huge location or length cannot overflow.
    if (location > n - base) return std::nullopt;
    const qint64 start = base + location;
    const qint64 count = std::min(length, n - start);
    if (count <= 0) return std::nullopt;
    Q_EMIT flashRequested(target, qsizetype(start), qsizetype(count));
    return std::make_pair(qsizetype(start), qsizetype(count));
}
