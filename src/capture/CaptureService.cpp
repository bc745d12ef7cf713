#include "capture/CaptureService.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSet>
#include <QTextBoundaryFinder>
#include <algorithm>

#include "capture/SourceHarvester.h"
#include "model/Capture.h"
#include "model/NoteNotifications.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/ModelContext.h"
#include "platform/NotificationCenter.h"
#include "platform/SelectionReader.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"

namespace {
QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}
}  // namespace

CaptureService::CaptureService(NoteStore& store, IsNoteOpen isNoteOpen, Settings& settings, const Clock& clock,
                               SelectionReader& reader, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_isNoteOpen(std::move(isNoteOpen)),
      m_settings(settings),
      m_clock(clock),
      m_reader(reader),
      m_selectionProvider([this] { return readSelection(m_reader); })
{
}

bool CaptureService::attachSource() const
{
    const QVariant stored = m_settings.storedValue(QStringLiteral("capture.attachSource"));
    return stored.typeId() == QMetaType::Bool ? stored.toBool() : true;
}

QString CaptureService::firstLine(const QString& text)
{
    // A carriage return before a line feed ends the line with it: a title never holds a line break.
    static const QRegularExpression lineEnd(QStringLiteral("\r?\n"));
    const QStringList pieces = text.split(lineEnd, Qt::SkipEmptyParts);
    QString line;
    for (const QChar c : pieces.isEmpty() ? text : pieces.first()) {
        const char16_t u = c.unicode();
        // Embeddings and overrides (U+202A..U+202E) and isolates (U+2066..U+2069) would turn the
        // title, and whatever is drawn after it, around.
        if ((u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069)) continue;
        line += c.category() == QChar::Other_Control ? QChar(u' ') : c;
    }
    // Count user-perceived characters, so a cut never splits an emoji or an accent from its letter.
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, line);
    qsizetype end = line.size();
    for (int count = 0; count < 80; ++count) {
        if (graphemes.toNextBoundary() < 0) break;
    }
    if (graphemes.position() >= 0) end = graphemes.position();
    QString title = line.left(end);
    qsizetype from = 0, to = title.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (from < to && blank(title.at(from))) ++from;
    while (to > from && blank(title.at(to - 1))) --to;
    return title.mid(from, to - from);
}

Capture* CaptureService::insertCapture(const CaptureContext& context, const std::optional<QUuid>& noteID)
{
    return m_store.context().insert(std::make_unique<Capture>(context.text, context.sourceApp, context.sourceBundleID,
                                                              context.sourceURL, context.sourceTitle, noteID,
                                                              m_clock.now()));
}

CaptureService::Result CaptureService::storeAlone(const CaptureContext& context)
{
    Capture* capture = insertCapture(context, std::nullopt);
    const QUuid captureID = capture->uuid();
    if (!m_store.saveNow()) {
        // Answered "not saved": it must not reach the disk later, when a retry of the store gets through.
        m_store.context().remove(capture);
        return Captured{captureID, false};
    }
    stopFollowing();
    m_lastCapture = UndoRecord{std::nullopt, captureID, QString(), std::nullopt, false};
    return Captured{captureID, true};
}

void CaptureService::takeBack(Note& note, Capture& capture)
{
    if (!capture.isDeleted()) m_store.context().remove(&capture);
    if (!note.isDeleted()) m_store.discardUnsaved(note);
    // Taken back while the store was still making it the active note.
    else if (m_store.activeNoteID() == note.uuid())
        m_store.setActiveNoteID(std::nullopt);
    if (m_lastCapture && m_lastCapture->captureID == capture.uuid()) m_lastCapture.reset();
}

bool CaptureService::selectionReadsInBackground() const
{
    return m_providerReadsInBackground && m_reader.readsInBackground();
}

CaptureService::Result CaptureService::ingest(const CaptureContext& given, bool asNewNote)
{
    if (given.text.trimmed().isEmpty()) return EmptySelection{};
    CaptureContext context = given;
    if (!attachSource()) context = CaptureContext{given.text, {}, {}, {}, {}};

    if (asNewNote) {
        // The note and its capture row are saved together: never one without the other. A long one is
        // written in the background; whenever its write ends, a failure takes both back, as a short
        // capture's failed save does, so that what was answered "not saved" never reaches the disk
        // later. An earlier write ends first: the next outcome the context reports is this note's.
        m_store.context().waitForWrite();
        struct Pending {
            Note* note = nullptr;
            Capture* capture = nullptr;
            std::optional<bool> saved;
            bool returned = false;
            QMetaObject::Connection connection;
        };
        auto pending = std::make_shared<Pending>();
        pending->connection =
            connect(&m_store.context(), &ModelContext::saveFinished, this, [this, pending](const QString& failure) {
                QObject::disconnect(pending->connection);
                pending->saved = failure.isEmpty();
                if (!failure.isEmpty()) takeBack(*pending->note, *pending->capture);
                if (pending->returned) Q_EMIT newNoteWritten(pending->capture->uuid(), failure.isEmpty());
            });
        const NoteStore::CreatedNote created = m_store.createNote(
            {firstLine(context.text), context.text, context.sourceApp, context.sourceURL},
            [&](Note& note) {
                pending->note = &note;
                pending->capture = insertCapture(context, note.uuid());
            },
            true);
        pending->returned = true;
        const QUuid noteID = created.note->uuid(), captureID = pending->capture->uuid();
        // Written at once, or the write already taken in (a read while the note was announced waits
        // for it): the outcome is known.
        const bool known = !created.writing || pending->saved.has_value();
        if (known) {
            QObject::disconnect(pending->connection);
            if (!(created.writing ? *pending->saved : created.saved)) {
                takeBack(*created.note, *pending->capture);
                return Created{noteID, captureID, false, false};
            }
        }
        stopFollowing();
        m_lastCapture = UndoRecord{noteID, captureID, QString(), std::nullopt, true};
        return Created{noteID, captureID, known, !known};
    }

    const std::optional<QUuid> activeID = m_store.activeNoteID();
    if (!activeID || !m_isNoteOpen || !m_isNoteOpen(*activeID)) return storeAlone(context);
    Note* note = m_store.note(*activeID);
    // A note the editor shows read-only (a body of a newer version) takes no text either.
    if (!note || note->isTrashed() || note->isLocked() || m_store.readOnlyNoteIDs().contains(note->uuid()))
        return storeAlone(context);

    // An earlier write ends first: the next outcome the context reports is this append's.
    m_store.context().waitForWrite();
    // Keys an open editor still holds back go into the body first, or the append would overwrite them.
    m_store.flushPendingEdits();
    m_store.ensureMigrated(*note);
    const QString previousBody = note->body();
    const std::optional<QByteArray> previousBlocks = note->bodyBlocksData();
    // An empty body line with the user's caret on it stays the user's: the text goes on the line after
    // it, so the next keys neither land in front of it nor run into it.
    const auto appended = note->appendPlain(context.text, m_store.caretAtBodyEnd(note->uuid()));
    if (!appended) {
        // The note's body cannot take text without losing what it holds (written by a newer version,
        // unreadable, or sealed): the text is kept as a capture of its own instead.
        qCInfo(Log::store, "Capture not appended to %s (body not writable); stored on its own",
               qUtf8Printable(uuidText(note->uuid())));
        return storeAlone(context);
    }
    auto pending = std::make_shared<PendingAppend>();
    pending->sourceApp = note->sourceApp();
    pending->sourceURL = note->sourceURL();
    pending->updatedAt = note->updatedAt();
    if (!note->sourceApp()) note->setSourceApp(context.sourceApp);
    if (!note->sourceURL()) note->setSourceURL(context.sourceURL);
    note->setUpdatedAt(m_clock.now());
    Capture* capture = insertCapture(context, note->uuid());
    const QUuid noteID = note->uuid(), captureID = capture->uuid();
    // A long note is written in the background, as a long new note is, and said saved only once it is on
    // disk; a write that fails after the answer takes the append back then (see takeBackAppend).
    pending->connection = connect(&m_store.context(), &ModelContext::saveFinished, this,
                                  [this, pending, captureID](const QString& failure) {
                                      QObject::disconnect(pending->connection);
                                      pending->saved = failure.isEmpty();
                                      if (!pending->returned) return;
                                      if (!failure.isEmpty()) takeBackAppend(captureID, *pending);
                                      Q_EMIT appendWritten(captureID, failure.isEmpty());
                                  });
    const std::optional<bool> written = m_store.saveInBackground();
    if (written && !*written) {
        QObject::disconnect(pending->connection);
        // Answered "not saved": the note goes back to what it held, so the text does not reach the
        // disk later with the note's other changes.
        m_store.context().remove(capture);
        note->setBody(previousBody);
        note->setBodyBlocksData(previousBlocks);
        note->setSourceApp(pending->sourceApp);
        note->setSourceURL(pending->sourceURL);
        note->setUpdatedAt(pending->updatedAt);
        m_store.takeInChangedBodies();
        return Appended{noteID, captureID, appended->range, false};
    }
    // The note's open editor shows the text before it handles another key: a key typed into its old
    // copy would write that copy over the appended text.
    m_store.takeInChangedBodies();
    m_store.setActiveNoteID(noteID);
    stopFollowing();
    m_lastCapture = UndoRecord{noteID,
                               captureID,
                               previousBody,
                               previousBlocks,
                               false,
                               note->bodyBlocksData(),
                               appended->blockID,
                               appended->range,
                               context.text,
                               appended->newBlock};
    // The appended text always ends the body: it went into the last block, or a block made after it.
    m_lastCapture->appendedBodyLocation = note->body().size() - context.text.size();
    followAppendedText(*note);
    pending->returned = true;
    if (!written && !pending->saved) return Appended{noteID, captureID, appended->range, false, true};
    // Written at once, or the write already taken in (something the editor did waited for it).
    QObject::disconnect(pending->connection);
    const bool saved = written ? *written : *pending->saved;
    if (!saved) takeBackAppend(captureID, *pending);
    return Appended{noteID, captureID, appended->range, saved};
}

void CaptureService::takeBackAppend(const QUuid& captureID, const PendingAppend& before)
{
    // Undone meanwhile: the undo took the text and the row out already.
    if (!m_lastCapture || m_lastCapture->captureID != captureID) return;
    // Keys an open editor still holds back go into the body first, where the follow sees them.
    m_store.flushPendingEdits();
    const UndoRecord record = *std::exchange(m_lastCapture, std::nullopt);
    stopFollowing();
    if (Note* note = record.noteID ? m_store.note(*record.noteID) : nullptr) {
        const bool untouched = note->bodyBlocksData() == record.appendedBlocksData;
        if (revertAppend(*note, record)) {
            // Untouched since, the note is as it was before the capture; otherwise the user's edits stay.
            if (untouched) {
                note->setSourceApp(before.sourceApp);
                note->setSourceURL(before.sourceURL);
                note->setUpdatedAt(before.updatedAt);
            }
            m_store.takeInChangedBodies();
        } else {
            qCInfo(Log::store, "Capture into %s not saved; its text was edited since and stays in the note",
                   qUtf8Printable(uuidText(note->uuid())));
        }
    }
    if (Capture* capture = m_store.capture(captureID); capture && !capture->isDeleted())
        m_store.context().remove(capture);
}

void CaptureService::followAppendedText(Note& note)
{
    m_followedBody = note.body();
    m_followed = connect(&note, &ManagedObject::attributeChanged, this, [this, &note](int attribute) {
        if (attribute == Note::Body) bodyChanged(note);
    });
}

void CaptureService::stopFollowing()
{
    disconnect(m_followed);
    m_followedBody.clear();
}

// One edit at a time (a key, a paste, a structural edit) replaces one stretch of the body: the text
// before it and after it stay. Where that stretch could lie in more than one place (a key typed next to
// the text is a letter it starts or ends with), every place reads the same, so the earliest one clear
// of the text and of the line feed that joined it is taken. An edit wholly before them moves the text
// by as much as the body grew or shrank, one after them leaves it; one that can only reach into them
// leaves nothing to take out again.
void CaptureService::bodyChanged(const Note& note)
{
    if (!m_lastCapture || m_lastCapture->appendedBodyLocation < 0) return stopFollowing();
    const QString now = note.body();
    const QString before = std::exchange(m_followedBody, now);
    const qsizetype shorter = std::min(before.size(), now.size());
    const auto common = [&](auto from, auto to, auto nowFrom) { return std::mismatch(from, to, nowFrom).first - from; };
    const qsizetype head = common(before.begin(), before.begin() + shorter, now.begin());
    if (head == before.size() && head == now.size()) return;  // the same text
    // The stretch as late as it can lie starts at `head`; as early as it can, it ends at `earliestEnd`.
    const qsizetype longestTail = common(before.rbegin(), before.rbegin() + shorter, now.rbegin());
    const qsizetype earliestEnd = before.size() - longestTail;
    qint64& at = m_lastCapture->appendedBodyLocation;
    // The line feed the append put in front of the text is the text's as well.
    const qint64 start = m_lastCapture->appendedRange.location > 0 ? at - 1 : at;
    const qint64 end = at + m_lastCapture->appendedText.size();
    if (earliestEnd <= start)
        at += now.size() - before.size();
    else if (head < end)
        at = -1;
}

// Takes the appended text back out of a note edited since: only where it still stands, with the line
// feed that joined it, and the block too when the append had made it. Anything else is the user's.
bool CaptureService::revertAppend(Note& note, const UndoRecord& record)
{
    if (note.isSealed()) return false;
    if (note.bodyBlocksData() == record.appendedBlocksData) {
        note.setBody(record.previousBody);
        note.setBodyBlocksData(record.previousBlocksData);
        return true;
    }
    if (record.appendedBodyLocation < 0) return false;
    const auto decoded = note.decodedBlocks();
    if (!decoded) return false;
    QVector<NoteBlock> blocks = *decoded;
    // The block that now holds the text's place in the body (blocks are joined by one line feed, a
    // picture stands for one character).
    auto block = blocks.end();
    qint64 location = 0, offset = 0;
    for (auto it = blocks.begin(); it != blocks.end(); ++it) {
        const qint64 size = it->textRuns() ? it->textRuns()->text.size() : 1;
        if (record.appendedBodyLocation <= offset + size) {
            block = it;
            location = record.appendedBodyLocation - offset;
            break;
        }
        offset += size + 1;
    }
    if (block == blocks.end() || !block->textRuns()) return false;
    TextRuns& runs = *block->textRuns();
    const qint64 length = record.appendedRange.length;
    if (location < 0 || location + length > runs.text.size()) return false;
    if (QStringView(runs.text).mid(location, length) != record.appendedText) return false;
    // The line feed the append put before the text goes with it; text that filled an empty line had
    // none, and goes alone even when the user has since typed in front of it.
    const bool joined = record.appendedRange.location > 0 && location > 0;
    if (joined && runs.text.at(location - 1) != u'\n') return false;

    const qint64 from = joined ? location - 1 : location, to = location + length;
    runs.text.remove(from, to - from);
    const auto shifted = [&](qint64 at) { return at <= from ? at : (at >= to ? at - (to - from) : from); };
    QVector<TextRuns::Run> kept;
    for (TextRuns::Run run : std::as_const(runs.runs)) {
        const qint64 start = shifted(run.loc), end = shifted(run.loc + run.len);
        if (end <= start) continue;
        run.loc = start;
        run.len = end - start;
        kept.push_back(run);
    }
    runs.runs = kept;
    if (record.appendedNewBlock && block->id == record.appendedBlockID && runs.text.isEmpty() && blocks.size() > 1)
        blocks.erase(block);
    return note.setBlocks(blocks);
}

bool CaptureService::undoLast()
{
    if (!m_lastCapture) return true;
    // Keys an open editor still holds back go into the body first, where the follow sees them: the
    // body put back below would otherwise drop them.
    m_store.flushPendingEdits();
    const UndoRecord record = *m_lastCapture;
    m_lastCapture.reset();
    stopFollowing();

    Note* note = record.noteID ? m_store.note(*record.noteID) : nullptr;
    if (note && !record.didCreateNote) {
        // The row stays with the text it records when the text cannot come out of the note again.
        if (!revertAppend(*note, record)) {
            qCInfo(Log::store, "Capture undo left note %s and its capture as they are: the appended text has changed",
                   qUtf8Printable(uuidText(note->uuid())));
            return false;
        }
        note->setUpdatedAt(m_clock.now());
        // Its open editor shows the text gone before it handles another key (or it writes it back).
        m_store.takeInChangedBodies();
    }
    if (record.captureID) {
        if (Capture* capture = m_store.capture(*record.captureID)) m_store.context().remove(capture);
    }
    m_store.saveNow();
    if (note && record.didCreateNote) {
        m_store.softDelete(*note);
        m_store.notifications().post(tarnwickDidDeleteNote, uuidText(note->uuid()));
    }
    return true;
}

CaptureService::SelectionRead CaptureService::readSelection(SelectionReader& reader)
{
    const auto fail = [](UnreadableReason reason) { return SelectionRead(reason); };
    // Without access to other windows (a pure Wayland session) there is no focus to read at all.
    if (!reader.isAvailable()) return fail(UnreadableReason::noFocusedElement);
    const std::optional<ActiveWindow> window = reader.activeWindow();
    if (!window) return fail(UnreadableReason::tarnwickIsFrontmost);
    if (window->pid && *window->pid == QCoreApplication::applicationPid())
        return fail(UnreadableReason::tarnwickIsFrontmost);
    auto text = reader.selectedText();
    if (!text) {
        switch (text.error()) {
            case SelectionReader::Failure::noOwner:
                // Nothing selected anywhere: an empty text, which the capture reports as such.
                text = QString();
                break;
            case SelectionReader::Failure::tooLarge:
                return fail(UnreadableReason::selectionTooLarge);
            case SelectionReader::Failure::ownSelection:
                // Our own selection: we cannot answer ourselves while we wait, and it is no capture.
                return fail(UnreadableReason::tarnwickIsFrontmost);
            default:
                return fail(UnreadableReason::appExposesNoSelection);
        }
    }
    const SourceHarvester::Source source = SourceHarvester::harvest(window);
    return CaptureContext{*text, source.app, source.bundleID, source.url, source.title};
}
