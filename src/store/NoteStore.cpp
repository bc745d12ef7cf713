#include "store/NoteStore.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFontDatabase>
#include <QGuiApplication>
#include <algorithm>
#include <thread>

#include "model/Capture.h"
#include "model/Note.h"
#include "model/NoteBlockEnvelope.h"
#include "model/NoteImage.h"
#include "model/NoteTheme.h"
#include "platform/BoundedWait.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/ModelContext.h"
#include "platform/Settings.h"
#include "store/LaunchBodyCheck.h"
#include "store/NoteThemes.h"

namespace {

const QString kOrphanFirstSeenKey = QStringLiteral("images.orphanFirstSeen");
const QString kWindowWidthKey = QStringLiteral("notes.windowWidth");

constexpr double kPaperMargin = 16;
constexpr double kMinPaperWidth = 120;
constexpr double kFallbackPaperWidth = 344;
constexpr double kBaseFontSize = 14.5;

template <typename T>
QList<T*> allRows(ModelContext& context)
{
    auto rows = context.fetch<T>();
    return rows ? *rows : QList<T*>();
}

// One row per identity; `prefer(candidate, kept)` says whether the candidate replaces the kept row, so
// among equally good rows the one fetched first stays. Losers come in the order in which they lost;
// winners in the order fetched, and `winnerOf` names them by key.
template <typename T, typename Key>
struct Collapsed {
    QList<T*> winners;
    QHash<Key, T*> winnerOf;
    QList<T*> losers;
};

// `mayShare` false: the context vouches that no two rows share a key, so every row wins, unlooked at.
template <typename T, typename Key, typename KeyOf, typename Prefer>
Collapsed<T, Key> collapseDuplicates(const QList<T*>& rows, KeyOf keyOf, Prefer prefer, bool mayShare = true)
{
    Collapsed<T, Key> out;
    if (!mayShare) {
        out.winners = rows;
        return out;
    }
    out.winnerOf.reserve(rows.size());
    for (T* row : rows) {
        const Key key = keyOf(*row);
        auto it = out.winnerOf.find(key);
        if (it == out.winnerOf.end()) {
            out.winnerOf.insert(key, row);
        } else if (prefer(*row, **it)) {
            out.losers.append(*it);
            *it = row;
        } else {
            out.losers.append(row);
        }
    }
    if (out.losers.isEmpty()) {
        out.winners = rows;
    } else {
        out.winners.reserve(out.winnerOf.size());
        for (T* row : rows)
            if (out.winnerOf.value(keyOf(*row)) == row) out.winners.append(row);
    }
    return out;
}

// The first-seen map as stored; anything that is not a dictionary of numbers reads as empty.
QVariantMap readFirstSeen(const Settings& settings)
{
    const QVariant stored = settings.value(kOrphanFirstSeenKey);
    if (stored.typeId() != QMetaType::QVariantMap) return {};
    const QVariantMap map = stored.toMap();
    for (const QVariant& v : map) {
        const int type = v.typeId();
        if (type != QMetaType::Double && type != QMetaType::LongLong && type != QMetaType::Int) return {};
    }
    return map;
}

double secondsSince1970(const QDateTime& moment)
{
    return double(moment.toMSecsSinceEpoch()) / 1000.0;
}

QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

using DecodedEnvelope = Result<QVector<NoteBlock>, NoteBlockEnvelope::Error>;

// Decodes envelopes on worker threads, results in input order. At launch every note's envelope is
// checked, and over a large store the JSON parsing is most of the housekeeping; the decode is pure, so
// the store and its objects stay on the main thread.
std::vector<std::optional<DecodedEnvelope>> decodeAll(const std::vector<QByteArray>& envelopes)
{
    std::vector<std::optional<DecodedEnvelope>> out(envelopes.size());
    auto decodeRange = [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) out[i] = NoteBlockEnvelope::decode(envelopes[i]);
    };
    const size_t workers = std::min<size_t>(8, std::max(1u, std::thread::hardware_concurrency()));
    if (envelopes.size() < 256 || workers < 2) {
        decodeRange(0, envelopes.size());
        return out;
    }
    const size_t chunk = (envelopes.size() + workers - 1) / workers;
    std::vector<std::thread> threads;
    for (size_t begin = chunk; begin < envelopes.size(); begin += chunk)
        threads.emplace_back(decodeRange, begin, std::min(envelopes.size(), begin + chunk));
    decodeRange(0, std::min(envelopes.size(), chunk));
    for (std::thread& t : threads) t.join();
    return out;
}

}  // namespace

NoteStore::NoteStore(ModelContext& context, Clock& clock, Settings& settings, NotificationCenter& notifications,
                     QObject* parent)
    : QObject(parent),
      m_themeCache(notifications),
      m_context(context),
      m_clock(clock),
      m_settings(settings),
      m_notifications(notifications)
{
    m_context.setAutosaveEnabled(true);
    m_context.setStoredForm(
        [this](const ManagedObject& object, QVector<QVariant>& stored) { return storedForm(object, stored); });
    connect(&m_context, &ModelContext::saveFinished, this, &NoteStore::saveFinished);
    connect(&m_context, &ModelContext::storeFileMoved, this, [this](const QString& path, bool replaced) {
        // A folder made again is a new folder to watch.
        if (m_storeFolder) watchStoreFolder(path);
        // After a removal the notes are back where they were: nothing to tell.
        if (!replaced && !m_keptFile) return;
        m_keptFile = path;
        Q_EMIT keptFileChanged();
    });
    // A notes file removed or replaced from outside is seen when it happens rather than at the next
    // save, so the notes are written back (or kept beside the file put there) at once, and said so.
    if (const QString path = m_context.storePath(); !path.isEmpty()) {
        m_storeFolder = new QFileSystemWatcher(this);
        watchStoreFolder(path);
        // Looked at once the folder has been quiet a moment: a tool that removes or swaps the store's
        // files one by one is let finish first, or a file written back at once could lose its log to
        // the tool's next step. A folder that never goes quiet (another program writing there all the
        // time) is looked at all the same, storeFolderLongestWaitMs after its first change not looked at.
        connect(m_storeFolder, &QFileSystemWatcher::directoryChanged, this, [this] {
            const qint64 now = m_clock.elapsedMs();
            if (!m_storeFolderSettle.isActive()) m_storeFolderChangedAt = now;
            m_storeFolderSettle.cancel();
            const qint64 left = m_storeFolderChangedAt + storeFolderLongestWaitMs - now;
            m_storeFolderSettle =
                m_clock.after(std::clamp<qint64>(left, 0, storeFolderSettleMs), this, [this] { checkStoreFile(); });
        });
    }
}

void NoteStore::watchStoreFolder(const QString& storePath)
{
    // The folder is watched afresh wherever the store is written. A watch follows its folder when that
    // is moved away, still listed under the old path; and a removed folder is told gone only once no
    // program holds a file of it open, perhaps after it was written back, when that late notice would
    // drop the path's listing. Its parent is watched too: the folder's own move is no change of its own.
    const QString folder = QFileInfo(storePath).absolutePath();
    const QString parent = QFileInfo(folder).absolutePath();
    const QStringList watched = m_storeFolder->directories();
    if (!watched.isEmpty()) m_storeFolder->removePaths(watched);
    QStringList paths{folder};
    if (parent != folder && QFileInfo(parent).isDir()) paths << parent;
    m_storeFolder->addPaths(paths);
}

void NoteStore::checkStoreFile()
{
    // A failed write waiting for its next try writes the file back then: a change in the folder (the
    // copy that our own last try made and took away, above all) starts no other, which would copy the
    // whole store again and fill the disk anew.
    if (m_retry.isWaiting()) return;
    if (auto kept = m_context.keepStoreFile(); !kept) saveFinished(kept.error().description());
}

bool NoteStore::writeStoreFileBack()
{
    const auto kept = m_context.keepStoreFile();
    saveFinished(kept ? QString() : kept.error().description());
    return bool(kept);
}

bool NoteStore::notesFileLost() const
{
    return m_saveFailure && m_context.storeFileGone();
}

NoteStore::~NoteStore()
{
    // What the services changed while they closed is written now, while a private note can still be
    // given its sealed form. After that the context writes nothing more: its container lives until
    // after main() returns, when what a save would read is gone, and a save that failed at quit was
    // already tried once or given up by the user.
    disconnect(&m_context, nullptr, this, nullptr);
    if (!m_saveFailure && m_context.hasChanges()) {
        if (auto saved = m_context.save(); !saved)
            qCWarning(Log::store, "The last changes could not be saved: %s",
                      qUtf8Printable(saved.error().description()));
    }
    m_context.setAutosaveEnabled(false);
    m_context.setStoredForm(nullptr);
}

// ---- Published state ----

void NoteStore::setActiveNoteID(const std::optional<QUuid>& id)
{
    if (id == m_activeNoteID) return;
    m_activeNoteID = id;
    Q_EMIT activeNoteIDChanged();
}

// ---- Making notes ----

NoteStore::CreatedNote NoteStore::createNote(const NewNote& content, const std::function<void(Note&)>& alongside,
                                             bool inBackground)
{
    auto made = std::make_unique<Note>(content.title, content.body, Tint::blue, Opacity::solid, content.sourceApp,
                                       content.sourceURL, m_clock.now());
    const QString themeID = NoteThemes::defaultThemeID(m_settings);
    made->setThemeID(themeID);
    if (const auto tint = Tint::fromRawValue(themeID)) made->setTint(*tint);
    Note* note = m_context.insert(std::move(made));
    // A note made with text has its blocks from the start, so the one save below stores it whole and
    // opening it writes nothing again (a long capture would otherwise be saved twice).
    if (!content.body.isEmpty()) ensureMigrated(*note);
    if (alongside) alongside(*note);
    if (inBackground) {
        const std::optional<bool> saved = saveInBackground();
        setActiveNoteID(note->uuid());
        return {note, saved.value_or(false), !saved};
    }
    const bool saved = saveNow();
    setActiveNoteID(note->uuid());
    return {note, saved};
}

void NoteStore::discardUnsaved(Note& note)
{
    const QUuid id = note.uuid();
    m_context.remove(&note);
    if (m_activeNoteID == id) setActiveNoteID(std::nullopt);
}

void NoteStore::setReadOnlyNoteIDs(const QSet<QUuid>& ids)
{
    const bool changed = ids != m_readOnlyNoteIDs;
    m_readOnlyNoteIDs = ids;
    if (changed) Q_EMIT readOnlyNoteIDsChanged();
}

void NoteStore::setSyncState(SyncState state)
{
    if (state == m_syncState) return;
    m_syncState = state;
    Q_EMIT syncStateChanged();
}

// ---- Lookups and queries ----

QList<Note*> NoteStore::fetch(std::function<bool(const Note&)> predicate, const QVector<SortDescriptor>& sort)
{
    auto rows = m_context.fetch<Note>(FetchDescriptor<Note>{std::move(predicate), sort, std::nullopt});
    if (!rows) {
        qCWarning(Log::store, "Fetch failed: %s", qUtf8Printable(rows.error().description()));
        return {};
    }
    return *rows;
}

Note* NoteStore::note(const QUuid& id)
{
    auto rows = m_context.objectsWith<Note>(Note::Uuid, id);
    if (!rows) {
        qCWarning(Log::store, "Fetch failed: %s", qUtf8Printable(rows.error().description()));
        return nullptr;
    }
    // Of duplicates, the most recently updated; among equals the first in store order.
    Note* best = nullptr;
    for (Note* n : std::as_const(*rows))
        if (!best || n->updatedAt() > best->updatedAt()) best = n;
    return best;
}

Capture* NoteStore::capture(const QUuid& id)
{
    auto rows = m_context.objectsWith<Capture>(Capture::Uuid, id);
    return rows && !rows->isEmpty() ? rows->first() : nullptr;
}

NoteImage* NoteStore::image(const QUuid& id)
{
    auto rows = m_context.objectsWith<NoteImage>(NoteImage::Uuid, id);
    return rows && !rows->isEmpty() ? rows->first() : nullptr;
}

QList<NoteImage*> NoteStore::imageRows(const QUuid& noteID)
{
    auto rows = m_context.objectsWith<NoteImage>(NoteImage::NoteUUID, noteID);
    if (!rows) return {};
    std::stable_sort(rows->begin(), rows->end(),
                     [](const NoteImage* a, const NoteImage* b) { return a->createdAt() < b->createdAt(); });
    return *rows;
}

QList<NoteImage*> NoteStore::images(const QUuid& noteID)
{
    return imageRows(noteID);
}

QList<Capture*> NoteStore::captures()
{
    auto rows = m_context.fetch<Capture>({nullptr, {{Capture::CreatedAt, false}}, std::nullopt});
    return rows ? *rows : QList<Capture*>();
}

QList<Note*> NoteStore::kept(KeptList& list, std::function<bool(const Note&)> predicate,
                             const QVector<SortDescriptor>& sort)
{
    if (list.valid && list.changeCount == m_context.changeCount()) return list.notes;
    auto rows = m_context.fetch<Note>(FetchDescriptor<Note>{std::move(predicate), sort, std::nullopt});
    if (!rows) {
        qCWarning(Log::store, "Fetch failed: %s", qUtf8Printable(rows.error().description()));
        return {};
    }
    list.notes = *rows;
    list.changeCount = m_context.changeCount();
    list.valid = true;
    return list.notes;
}

QList<Note*> NoteStore::allActive()
{
    return kept(m_allActive, [](const Note& n) { return !n.isTrashed(); }, {{Note::UpdatedAt, false}});
}

QList<Note*> NoteStore::pinned()
{
    return kept(m_pinned, [](const Note& n) { return !n.isTrashed() && n.isPinned(); }, {{Note::UpdatedAt, false}});
}

QList<Note*> NoteStore::withReminders()
{
    return fetch([](const Note& n) { return !n.isTrashed() && n.reminderDate(); }, {});
}

QList<Note*> NoteStore::trashed()
{
    return kept(m_trashed, [](const Note& n) { return n.isTrashed(); }, {{Note::DeletedAt, false}});
}

// ---- Saving, the bin, purging, tags ----

void NoteStore::addPendingEdits(QObject* owner, std::function<void()> flush, std::function<void()> takeIn,
                                std::function<bool(const QUuid&)> caretAtEnd)
{
    m_pendingEdits.push_back({owner, std::move(flush), std::move(takeIn), std::move(caretAtEnd)});
}

void NoteStore::askEditors(std::function<void()> PendingEdits::*call)
{
    std::erase_if(m_pendingEdits, [](const PendingEdits& entry) { return entry.owner.isNull(); });
    // A call may register or go away itself: each runs from a copy.
    const auto editors = m_pendingEdits;
    for (const PendingEdits& editor : editors)
        if (editor.owner && editor.*call) (editor.*call)();
}

void NoteStore::flushPendingEdits()
{
    askEditors(&PendingEdits::flush);
}

void NoteStore::takeInChangedBodies()
{
    askEditors(&PendingEdits::takeIn);
}

bool NoteStore::caretAtBodyEnd(const QUuid& noteID)
{
    return std::any_of(m_pendingEdits.begin(), m_pendingEdits.end(), [&](const PendingEdits& editor) {
        return editor.owner && editor.caretAtEnd && editor.caretAtEnd(noteID);
    });
}

bool NoteStore::saveNow()
{
    return save(false);
}

bool NoteStore::autosaveNow()
{
    return save(true);
}

std::optional<bool> NoteStore::saveInBackground()
{
    flushPendingEdits();
    const auto started = m_context.saveInBackground();
    m_revision = qint64(quint64(m_revision) + 1);
    Q_EMIT revisionChanged(m_revision);
    if (!started) return std::nullopt;
    if (!*started)
        qCWarning(Log::store, "Local save failed: %s. Change is still held in memory.",
                  qUtf8Printable(started->error().description()));
    return bool(*started);
}

bool NoteStore::save(bool likeAutosave)
{
    flushPendingEdits();
    // Nothing to save, yet the notes file may wait to be written back: a failure stands, or it went
    // before the folder's watch looked (a quit just after a removal).
    if (!m_context.hasChanges())
        return !likeAutosave && (m_saveFailure || m_context.storeFileGone()) ? writeStoreFileBack() : true;
    const auto saved = likeAutosave ? m_context.saveAsAutosave() : m_context.save();
    if (!saved)
        qCWarning(Log::store, "Local save failed: %s. Change is still held in memory.",
                  qUtf8Printable(saved.error().description()));
    // Every attempt counts, so views refresh from what is in memory even when the disk refused it.
    m_revision = qint64(quint64(m_revision) + 1);
    Q_EMIT revisionChanged(m_revision);
    return bool(saved);
}

void NoteStore::saveFinished(const QString& failure)
{
    if (failure.isEmpty()) {
        m_retry.reset();
        // A write got through: so may the clearing of a log that still holds a sealed note's words.
        clearLog();
        if (!m_saveFailure) return;
        m_saveFailure.reset();
        qCInfo(Log::store, "Saving works again: every change is on disk.");
        Q_EMIT saveFailureChanged();
        return;
    }
    const bool changed = m_saveFailure != failure;
    m_saveFailure = failure;
    // A full disk frees up without telling anyone: try again, less often the longer it lasts. With
    // nothing left to save (undone, or written by another path), the notes file may still wait.
    m_retry.schedule([this] { saveNow(); });
    if (changed) Q_EMIT saveFailureChanged();
}

void NoteStore::softDelete(Note& note)
{
    note.setIsTrashed(true);
    note.setDeletedAt(m_clock.now());
    note.setIsPinned(false);
    saveNow();
}

void NoteStore::restore(Note& note)
{
    note.setIsTrashed(false);
    note.setDeletedAt(std::nullopt);
    saveNow();
}

void NoteStore::removeNotes(const QList<Note*>& notes)
{
    QSet<QUuid> ids;
    for (Note* n : notes) {
        ids.insert(n->uuid());
        m_context.remove(n);
    }
    // Rows that share a UUID share its pictures: the live copy of a note must not lose them with a
    // binned duplicate. When the check itself fails, the pictures stay for the orphan sweep.
    auto remaining =
        m_context.fetch<Note>({[&ids](const Note& n) { return ids.contains(n.uuid()); }, {}, std::nullopt});
    if (!remaining) return;
    for (const Note* n : *remaining) ids.remove(n->uuid());
    if (ids.isEmpty()) return;
    auto pictures = m_context.fetch<NoteImage>({[&ids](const NoteImage& i) {
                                                    const auto owner = i.noteUUID();
                                                    return owner && ids.contains(*owner);
                                                },
                                                {{NoteImage::CreatedAt, true}},
                                                std::nullopt});
    if (!pictures) return;
    for (NoteImage* row : *pictures) m_context.remove(row);
}

void NoteStore::purge(Note& note)
{
    removeNotes({&note});
    saveNow();
}

void NoteStore::purge(const QList<Note*>& notes)
{
    if (notes.isEmpty()) return;
    removeNotes(notes);
    saveNow();
}

void NoteStore::purgeExpired(const QDateTime& now)
{
    const QDateTime cutoff = now.addSecs(-binRetentionSeconds);
    const QList<Note*> expired =
        fetch([&](const Note& n) { return n.isTrashed() && n.deletedAt().value_or(now) < cutoff; },
              {{Note::UpdatedAt, false}});
    if (expired.isEmpty()) return;
    removeNotes(expired);
    saveNow();
}

QStringList NoteStore::allTags()
{
    QHash<QString, qint64> counts;
    QStringList order;  // first appearance, so equal counts keep a stable order
    for (const Note* n : allActive()) {
        if (n->isLocked()) continue;
        for (const QString& tag : n->tags()) {
            auto it = counts.find(tag);
            if (it == counts.end()) {
                counts.insert(tag, 1);
                order.append(tag);
            } else {
                ++*it;
            }
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](const QString& a, const QString& b) { return counts.value(a) > counts.value(b); });
    return order;
}

// ---- Body upkeep and picture rows ----

bool NoteStore::ensureMigrated(Note& note)
{
    if (note.hasBodyBlocksData()) return false;
    return migrateBody(note);
}

double NoteStore::paperWidth(const Note& note, const Settings& settings)
{
    if (const auto frameW = note.frameW()) return std::max(*frameW - kPaperMargin, kMinPaperWidth);
    const double window = settings.doubleValue(kWindowWidthKey);
    if (window > 0) return std::max(window - kPaperMargin, kMinPaperWidth);
    return kFallbackPaperWidth;
}

// The note's own look: a migrated body's runs are measured against its font and ink.
ResolvedNoteTheme NoteStore::migrationTheme(const Note& note)
{
    return look(note).theme;
}

bool NoteStore::migrateBody(Note& note)
{
    if (note.isSealed()) return false;
    const ResolvedNoteTheme theme = migrationTheme(note);
    BaseStyle base;
    base.font.pointSize = kBaseFontSize;
    base.font.weight = 400;
    // Without a GUI application there is no font database to ask; the family is taken as given.
    if (theme.fontFamily && !theme.fontFamily->isEmpty() &&
        (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) || QFontDatabase::hasFamily(*theme.fontFamily)))
        base.font.family = *theme.fontFamily;
    base.color = theme.ink;

    const auto migrated =
        NoteBlockMigration::migrate(note.body(), note.bodyRichData(), paperWidth(note, m_settings), base);
    if (!migrated) return false;
    const auto blocks = resolveDrafts(*migrated, note.uuid());
    if (!blocks) return false;
    const auto bytes = NoteBlockEnvelope::encode(*blocks);
    if (!bytes) return false;
    // The legacy body stays: healing at a later start can migrate from it again.
    note.setBodyBlocksData(*bytes);
    note.setBody(Note::projectedBody(*blocks));
    // The editor that opens it next has the blocks without parsing a long body back.
    note.rememberBlocks(*bytes, *blocks);
    return true;
}

void NoteStore::migrateLegacyBodies()
{
    qint64 count = 0;
    for (Note* n : allRows<Note>(m_context)) {
        if (n->hasBodyBlocksData() || n->isLocked()) continue;
        if (migrateBody(*n)) ++count;
    }
    if (count < 1) return;
    qCInfo(Log::store, "blocks: migrated %lld note body/bodies", static_cast<long long>(count));
    saveNow();
}

QHash<QString, NoteImage*> NoteStore::rowsByHash(const QUuid& noteID)
{
    // A row without bytes cannot stand for a picture the user adds again: the new bytes get a row.
    QHash<QString, NoteImage*> table;
    for (NoteImage* row : imageRows(noteID))
        if (row->hasData() && !table.contains(row->contentHash())) table.insert(row->contentHash(), row);
    return table;
}

NoteImage* NoteStore::insertImageRow(const QByteArray& bytes, const QUuid& noteID, QHash<QString, NoteImage*>& reusing)
{
    // A plain picture row would count as plaintext of a sealed note, and the next seal would put an
    // empty body over the sealed one.
    if (const Note* owner = note(noteID); owner && owner->isSealed()) return nullptr;
    return storeImageRow(bytes, noteID, reusing);
}

NoteImage* NoteStore::storeImageRow(const QByteArray& bytes, const QUuid& noteID, QHash<QString, NoteImage*>& reusing)
{
    // Decoded off the main thread: pictures come from anywhere (a paste, a drop, a client), and one
    // that has not been redrawn within the bound is not stored.
    constexpr qint64 normaliseTimeoutMs = 30'000;
    const auto decoded = runWithin<Result<NoteImage::Normalised, NoteImage::NormaliseError>>(
        QDeadlineTimer(normaliseTimeoutMs), [bytes] { return NoteImage::normalised(bytes); });
    if (!decoded) {
        qCWarning(Log::store, "A picture was not stored: redrawing it took longer than %lld s",
                  static_cast<long long>(normaliseTimeoutMs / 1000));
        return nullptr;
    }
    const auto& normalised = *decoded;
    if (!normalised) return nullptr;
    const QString hash = NoteImage::hash(normalised->data);
    if (NoteImage* existing = reusing.value(hash)) return existing;
    auto row = std::make_unique<NoteImage>();
    row->setUuid(QUuid::createUuid());
    row->setNoteUUID(noteID);
    row->setData(normalised->data);
    row->setLockedCipher(std::nullopt);
    row->setUtType(normalised->utType);
    row->setPixelWidth(normalised->pixelSize.width());
    row->setPixelHeight(normalised->pixelSize.height());
    row->setByteCount(normalised->data.size());
    row->setContentHash(hash);
    row->setCreatedAt(m_clock.now());
    NoteImage* inserted = m_context.insert(std::move(row));
    reusing.insert(hash, inserted);
    return inserted;
}

std::optional<QVector<NoteBlock>> NoteStore::resolveDrafts(const NoteBlockMigration::Migrated& migrated,
                                                           const QUuid& noteID)
{
    QHash<QString, NoteImage*> reuse = rowsByHash(noteID);
    QHash<QUuid, QUuid> rowForPlaceholder;
    for (const NoteBlockMigration::ImageDraft& draft : migrated.images) {
        NoteImage* row = storeImageRow(draft.bytes, noteID, reuse);
        if (!row) {
            qCInfo(Log::store, "blocks: a body was left as it was — one of its pictures would not store");
            return std::nullopt;
        }
        rowForPlaceholder.insert(draft.placeholder, row->uuid());
    }
    QVector<NoteBlock> blocks;
    for (const NoteBlock& block : migrated.blocks) {
        if (block.isText()) {
            blocks.append(block);
        } else if (const ImagePlacement* placement = block.imagePlacement()) {
            const auto it = rowForPlaceholder.constFind(placement->imageID);
            if (it == rowForPlaceholder.constEnd()) continue;
            blocks.append(NoteBlock::image(ImagePlacement{*it, placement->sizing}, block.id));
        }
    }
    blocks = NoteBlockMigration::mergingAdjacentText(blocks);
    if (blocks.isEmpty()) return QVector<NoteBlock>{NoteBlock::text(TextRuns{})};
    return blocks;
}

std::optional<QSet<QUuid>> NoteStore::referencedImageIDs(const Note& note) const
{
    // Most envelopes are in the compact form this build writes, where the ids are found without decoding.
    if (const auto data = note.bodyBlocksData())
        if (const auto ids = NoteBlockEnvelope::pictureIDs(*data)) return QSet<QUuid>(ids->begin(), ids->end());
    const auto decoded = note.decodedBlocks();
    if (!decoded) return std::nullopt;
    QSet<QUuid> ids;
    for (const NoteBlock& block : *decoded)
        if (const ImagePlacement* placement = block.imagePlacement()) ids.insert(placement->imageID);
    return ids;
}

bool NoteStore::hasBytes(const NoteImage& image)
{
    return image.hasData() || image.hasLockedCipher();
}

void NoteStore::collectOrphanImages(const QUuid& noteID)
{
    const Note* owner = note(noteID);
    if (!owner || owner->isLocked()) return;
    const auto named = referencedImageIDs(*owner);
    if (!named) return;
    qint64 count = 0;
    for (NoteImage* row : imageRows(noteID)) {
        if (named->contains(row->uuid())) continue;
        m_context.remove(row);
        ++count;
    }
    if (count == 0) return;
    qCInfo(Log::store, "blocks: closing a note collected %lld picture(s) it no longer names",
           static_cast<long long>(count));
    saveNow();
}

void NoteStore::sweepOrphanImages(const QDateTime& now)
{
    const QVariantMap firstSeen = readFirstSeen(m_settings);
    // A failed fetch says nothing about which pictures have owners: the sweep stops, changing nothing.
    auto rows = m_context.fetch<NoteImage>();
    if (!rows) return;
    if (rows->isEmpty()) {
        if (!firstSeen.isEmpty()) m_settings.remove(kOrphanFirstSeenKey);
        return;
    }
    QSet<QUuid> ownerIDs;
    for (const NoteImage* row : *rows)
        if (const auto owner = row->noteUUID()) ownerIDs.insert(*owner);
    auto notes = m_context.fetch<Note>();
    if (!notes) return;
    QHash<QUuid, QList<const Note*>> owners;
    for (const Note* n : *notes)
        if (ownerIDs.contains(n->uuid())) owners[n->uuid()].append(n);

    // Per owner id: the picture ids its rows' bodies name, or none when any row of it is locked or
    // unreadable (then every picture filed under it stays).
    QHash<QUuid, std::optional<QSet<QUuid>>> namedByOwner;
    auto namedBy = [&](const QUuid& id) -> const std::optional<QSet<QUuid>>& {
        auto it = namedByOwner.find(id);
        if (it != namedByOwner.end()) return *it;
        std::optional<QSet<QUuid>> named = QSet<QUuid>();
        for (const Note* n : owners.value(id)) {
            const auto ids = n->isLocked() ? std::nullopt : referencedImageIDs(*n);
            if (!ids) {
                named.reset();
                break;
            }
            named->unite(*ids);
        }
        return *namedByOwner.insert(id, named);
    };

    const double nowSeconds = secondsSince1970(now);
    QVariantMap nextFirstSeen;
    qint64 count = 0;
    for (NoteImage* row : *rows) {
        const auto ownerID = row->noteUUID();
        if (!ownerID || !owners.contains(*ownerID)) {
            const QString key = uuidText(row->uuid());
            const double first = firstSeen.contains(key) ? firstSeen.value(key).toDouble() : nowSeconds;
            if (nowSeconds - first >= double(ownerlessGraceSeconds)) {
                m_context.remove(row);
                ++count;
            } else {
                nextFirstSeen.insert(key, first);
            }
            continue;
        }
        const auto& named = namedBy(*ownerID);
        if (!named || named->contains(row->uuid())) continue;
        m_context.remove(row);
        ++count;
    }

    if (nextFirstSeen.isEmpty()) {
        if (!firstSeen.isEmpty()) m_settings.remove(kOrphanFirstSeenKey);
    } else if (nextFirstSeen != firstSeen) {
        m_settings.setValue(kOrphanFirstSeenKey, nextFirstSeen);
    }
    if (count < 1) return;
    qCInfo(Log::store, "blocks: collected %lld orphaned image row(s)", static_cast<long long>(count));
    saveNow();
}

void NoteStore::healBlocks(Note& note)
{
    if (note.isSealed()) return;
    const auto data = note.bodyBlocksData();
    if (!data) {
        migrateBody(note);
        return;
    }
    healBlocks(note, NoteBlockEnvelope::decode(*data));
}

void NoteStore::healBlocks(Note& note, const Result<QVector<NoteBlock>, NoteBlockEnvelope::Error>& decoded)
{
    if (!decoded) {
        const NoteBlockEnvelope::Error& error = decoded.error();
        if (error.kind == NoteBlockEnvelope::Error::Kind::newerVersion) {
            if (m_readOnlyNoteIDs.contains(note.uuid())) return;
            QSet<QUuid> ids = m_readOnlyNoteIDs;
            ids.insert(note.uuid());
            setReadOnlyNoteIDs(ids);
            qCInfo(Log::store, "note body is envelope v%lld; read-only on this build",
                   static_cast<long long>(error.version));
            return;
        }
        rebuildKeepingPictures(note);
        return;
    }
    // Canonically equal texts agree: a body stored in another normal form is no drift, and rebuilding
    // it from the plain body would drop the envelope's formatting.
    if (canonicallyEqual(Note::projectedBody(*decoded), note.body())) return;
    if (const auto rich = note.bodyRichData()) {
        const auto archived = NoteBlockMigration::unarchiveBody(*rich);
        if (archived && canonicallyEqual(archived->text(), note.body())) {
            // The legacy archive is the better source, pictures included.
            migrateBody(note);
            return;
        }
    }
    const QVector<NoteBlock> rebuilt = NoteBlockMigration::rebuild(note.body(), *decoded);
    if (const auto bytes = NoteBlockEnvelope::encode(rebuilt)) {
        note.setBodyBlocksData(*bytes);
        note.setBody(Note::projectedBody(rebuilt));
    }
}

// A corrupt envelope. The legacy archive rebuilds it best when it still matches the body. Otherwise the
// plain body is all that is left of the text, and its U+FFFC lines are where the pictures stood: the
// note's own picture rows go back there, oldest first (any left over follow at the end), so that the
// orphan sweep does not take pictures the broken envelope can no longer name.
bool NoteStore::rebuildKeepingPictures(Note& note)
{
    const QList<NoteImage*> rows = imageRows(note.uuid());
    bool richMatches = false;
    if (const auto rich = note.bodyRichData()) {
        const auto archived = NoteBlockMigration::unarchiveBody(*rich);
        richMatches = archived && canonicallyEqual(archived->text(), note.body());
    }
    if (rows.isEmpty() || richMatches) return migrateBody(note);

    QVector<NoteBlock> salvage;
    for (const NoteImage* row : rows) salvage.append(NoteBlock::image(ImagePlacement{row->uuid(), ImageSizing()}));
    const QVector<NoteBlock> rebuilt = NoteBlockMigration::rebuild(note.body(), salvage);
    const auto bytes = NoteBlockEnvelope::encode(rebuilt);
    if (!bytes) return false;
    note.setBodyBlocksData(*bytes);
    note.setBody(Note::projectedBody(rebuilt));
    return true;
}

// ---- Duplicate reconciliation ----

void NoteStore::startBodyCheck()
{
    startBodyCheck(std::make_unique<LaunchBodyCheck>(m_context.storePath()));
}

void NoteStore::startBodyCheck(std::unique_ptr<LaunchBodyCheck> check)
{
    m_bodyCheck = std::move(check);
}

void NoteStore::reconcileForSync()
{
    // A note the worker found sound and that nothing changed since it was loaded needs no second look.
    const std::unique_ptr<LaunchBodyCheck> check = std::move(m_bodyCheck);
    const LaunchBodyCheck::Verdict* verdict = check && check->verdict() ? &*check->verdict() : nullptr;
    const QList<Note*> noteRows = allRows<Note>(m_context);
    const auto notes = collapseDuplicates<Note, QUuid>(
        noteRows, [](const Note& n) { return n.uuid(); },
        [](const Note& candidate, const Note& kept) { return candidate.updatedAt() > kept.updatedAt(); },
        m_context.mayShareValues(Note::entityDescription(), Note::Uuid));
    setReadOnlyNoteIDs({});
    QList<ManagedObject*> withEnvelope;
    size_t cursor = 0;
    for (Note* kept : notes.winners) {
        if (kept->isLocked()) continue;
        if (kept->hasBodyBlocksData()) {
            if (!verdict || kept->version() != 0 || !verdict->isSound(kept->rowID(), &cursor))
                withEnvelope.append(kept);
        } else {
            healBlocks(*kept);
        }
    }
    // Envelopes are read in slices of neighbouring rows and not kept on the notes: a large store's
    // bodies never sit in memory all at once, and a note whose body is sound stays without its bytes.
    std::sort(withEnvelope.begin(), withEnvelope.end(),
              [](const ManagedObject* a, const ManagedObject* b) { return a->rowID() < b->rowID(); });
    constexpr qsizetype slice = 16384;
    for (qsizetype from = 0; from < withEnvelope.size(); from += slice) {
        const QList<ManagedObject*> part = withEnvelope.mid(from, slice);
        const QVector<QVariant> values = m_context.peekValues(part, Note::BodyBlocksData);
        std::vector<QByteArray> envelopes;
        envelopes.reserve(size_t(values.size()));
        for (const QVariant& v : values) envelopes.push_back(v.toByteArray());
        const auto decoded = decodeAll(envelopes);
        for (qsizetype i = 0; i < part.size(); ++i)
            // A body that could not be read is left alone, never rebuilt over.
            if (values[i].isValid()) healBlocks(*static_cast<Note*>(part[i]), *decoded[size_t(i)]);
    }

    const QList<Capture*> captureRows = allRows<Capture>(m_context);
    const auto captures = collapseDuplicates<Capture, QUuid>(
        captureRows, [](const Capture& c) { return c.uuid(); },
        [](const Capture& candidate, const Capture& kept) { return candidate.createdAt() > kept.createdAt(); },
        m_context.mayShareValues(Capture::entityDescription(), Capture::Uuid));
    const auto themes = collapseDuplicates<NoteTheme, QString>(
        allRows<NoteTheme>(m_context), [](const NoteTheme& t) { return t.id(); },
        [](const NoteTheme& candidate, const NoteTheme& kept) { return candidate.revision() > kept.revision(); });
    const auto images = collapseDuplicates<NoteImage, QUuid>(
        allRows<NoteImage>(m_context), [](const NoteImage& i) { return i.uuid(); },
        [](const NoteImage& candidate, const NoteImage& kept) { return hasBytes(candidate) && !hasBytes(kept); });

    if (notes.losers.isEmpty() && captures.losers.isEmpty() && themes.losers.isEmpty() && images.losers.isEmpty() &&
        !m_context.hasChanges())
        return;

    for (Note* loser : notes.losers) {
        // The rows filed under the shared id belong to the kept note as much as to the loser: only
        // those the kept note's readable blocks do not name go.
        const Note* kept = notes.winnerOf.value(loser->uuid());
        const auto named = kept && !kept->isLocked() ? referencedImageIDs(*kept) : std::nullopt;
        if (named) {
            for (NoteImage* row : imageRows(loser->uuid()))
                if (!named->contains(row->uuid())) m_context.remove(row);
        }
        m_context.remove(loser);
    }
    for (Capture* c : captures.losers) m_context.remove(c);
    for (NoteTheme* t : themes.losers) m_context.remove(t);
    for (NoteImage* i : images.losers) m_context.remove(i);
    saveNow();
    // Deleted theme rows are not announced; the cache must not go on serving them.
    invalidateThemeCache();
}

// ---- Duplicating ----

Note* NoteStore::duplicate(Note& original)
{
    if (original.isSealed()) {
        qCInfo(Log::store, "A note whose content is sealed is not duplicated");
        return nullptr;
    }
    flushPendingEdits();
    ensureMigrated(original);
    const QString title = original.title().isEmpty() ? QString() : original.title() + QStringLiteral(" copy");
    Note* copy = m_context.insert(std::make_unique<Note>(title, original.body(), original.tint(), Opacity::solid,
                                                         std::nullopt, std::nullopt, m_clock.now()));
    copy->setThemeID(original.themeID());

    QHash<QUuid, QUuid> copiedRow;
    for (const NoteImage* row : imageRows(original.uuid())) {
        const auto data = row->data();
        if (!data) continue;
        auto image = std::make_unique<NoteImage>();
        image->setUuid(QUuid::createUuid());
        image->setNoteUUID(copy->uuid());
        image->setData(*data);
        image->setUtType(row->utType());
        image->setPixelWidth(row->pixelWidth());
        image->setPixelHeight(row->pixelHeight());
        image->setByteCount(row->byteCount());
        image->setContentHash(row->contentHash());
        image->setCreatedAt(m_clock.now());
        image->setLockedCipher(std::nullopt);
        copiedRow.insert(row->uuid(), image->uuid());
        m_context.insert(std::move(image));
    }

    QVector<NoteBlock> blocks;
    for (const NoteBlock& block : original.blocks()) {
        NoteBlock copied(QUuid::createUuid(), block.kind);
        if (ImagePlacement* placement = copied.imagePlacement())
            placement->imageID = copiedRow.value(placement->imageID, placement->imageID);
        blocks.append(std::move(copied));
    }
    copy->setBlocks(blocks);
    saveNow();
    setActiveNoteID(copy->uuid());
    return copy;
}
