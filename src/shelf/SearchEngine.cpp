#include "shelf/SearchEngine.h"

#include <QPointer>
#include <algorithm>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "model/Capture.h"
#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/StoreRowReader.h"
#include "shelf/SearchFolding.h"

namespace {

// The lowered searchable texts of one object, as they were at one version of it. Up to three texts
// lie back to back in one buffer so that filling an entry allocates once.
struct Folded {
    const ManagedObject* key = nullptr;  // the address it was listed under; null once moved elsewhere
    quint64 serial = 0;                  // of the object lowered: another at the same address differs
    quint64 version = 0;
    QUuid id;  // the object's id, so that results can be named without reading their objects
    std::string text;
    size_t first = 0;   // length of the first text
    size_t second = 0;  // length of the second; the third is the rest
    bool locked = false;
    bool trashed = false;
    qint64 createdMs = 0;

    std::string_view part(int i) const
    {
        const std::string_view all(text);
        switch (i) {
            case 0:
                return all.substr(0, first);
            case 1:
                return all.substr(first, second);
            default:
                return all.substr(first + second);
        }
    }
};

// The entries of the objects of the last list, in that list's order. A list that comes in the same
// order as last time (the usual case from one keystroke to the next) is walked without any lookup; one
// in another order is rebuilt once, finding each object near where it was or, failing that, through an
// index. Entries of objects no longer listed are dropped at the end of the pass.
class FoldedTable {
public:
    // `changes`, when known, is the store's change count: while it stays what it was at the end of the
    // last pass, the same objects in the same order are taken as they were, without looking at them.
    void begin(qsizetype count, std::optional<quint64> changes = std::nullopt)
    {
        m_position = 0;
        m_rebuilding = false;
        m_shift = 0;
        m_misses = 0;
        m_expected = size_t(count);
        m_changes = changes;
        m_unchanged = changes && m_cleanAt == changes;
    }

    // The entry of the next object of the list, lowered again when it is new or changed since.
    template <typename Fill>
    const Folded& next(ManagedObject* object, Fill&& fill)
    {
        const size_t i = m_position++;
        Folded* f = nullptr;
        if (!m_rebuilding && i < m_entries.size() && m_entries[i].key == object) {
            f = &m_entries[i];
            if (m_unchanged) return *f;
        } else {
            f = &rebuiltEntry(i, object);
        }
        if (f->serial != object->serial() || f->version != object->version()) {
            f->serial = object->serial();
            f->version = object->version();
            f->text.clear();
            f->first = f->second = 0;
            fill(*f);
        }
        return *f;
    }

    void finish()
    {
        m_cleanAt = m_changes;
        if (m_rebuilding) {
            m_entries.swap(m_next);
            std::vector<Folded>().swap(m_next);
            m_index.clear();
            m_indexed = false;
        } else if (m_position < m_entries.size()) {
            m_entries.erase(m_entries.begin() + qsizetype(m_position), m_entries.end());
            m_index.clear();
            m_indexed = false;
        }
    }

    qsizetype size() const { return qsizetype(m_entries.size()); }
    // Takes entries made ahead of time, in list order, each current as of `changes` (see begin());
    // only into an empty table.
    void adopt(std::vector<Folded>&& entries, std::optional<quint64> changes = std::nullopt)
    {
        if (!m_entries.empty()) return;
        m_entries = std::move(entries);
        m_cleanAt = changes;
    }

private:
    Folded& rebuiltEntry(size_t i, const ManagedObject* object)
    {
        if (!m_rebuilding) {
            // The order changed at i: carry over what matched so far and continue into a new table.
            m_rebuilding = true;
            m_next.reserve(std::max(m_expected, i + 1));
            for (size_t k = 0; k < i; ++k) {
                m_next.push_back(std::move(m_entries[k]));
                m_entries[k].key = nullptr;
            }
        }
        Folded* old = find(i, object);
        Folded& f = m_next.emplace_back(old ? std::move(*old) : Folded{});
        if (old) old->key = nullptr;
        f.key = object;
        return f;
    }

    // Where object was in the last list. Reordered lists are mostly shifted ones (an edited note moves
    // to the front): look near where the shift so far puts it, and only once that keeps failing, index
    // everything. An object not found is lowered anew, which is right, only slower.
    Folded* find(size_t i, const ManagedObject* object)
    {
        const ptrdiff_t guess = ptrdiff_t(i) + m_shift;
        const ptrdiff_t count = ptrdiff_t(m_entries.size());
        for (ptrdiff_t d = 0; d <= kNearby; ++d) {
            for (const ptrdiff_t k : {guess + d, guess - d}) {
                if (k >= 0 && k < count && m_entries[size_t(k)].key == object) {
                    m_shift = k - ptrdiff_t(i);
                    return &m_entries[size_t(k)];
                }
            }
        }
        if (!m_indexed && ++m_misses <= kMissesBeforeIndex) return nullptr;
        if (!m_indexed) {
            m_indexed = true;
            m_index.reserve(m_entries.size());
            for (size_t k = 0; k < m_entries.size(); ++k)
                if (m_entries[k].key) m_index.emplace(m_entries[k].key, k);
        }
        const auto it = m_index.find(object);
        if (it == m_index.end() || m_entries[it->second].key != object) return nullptr;
        m_shift = ptrdiff_t(it->second) - ptrdiff_t(i);
        return &m_entries[it->second];
    }

    static constexpr ptrdiff_t kNearby = 8;
    static constexpr int kMissesBeforeIndex = 32;

    std::vector<Folded> m_entries;
    std::vector<Folded> m_next;
    // Where each object of m_entries lies, made only when a list comes in a new order.
    std::unordered_map<const ManagedObject*, size_t> m_index;
    size_t m_position = 0;
    size_t m_expected = 0;
    std::optional<quint64> m_changes;  // as of this pass
    std::optional<quint64> m_cleanAt;  // every entry is current as of this count
    bool m_unchanged = false;
    ptrdiff_t m_shift = 0;
    int m_misses = 0;
    bool m_indexed = false;
    bool m_rebuilding = false;
};

// The texts of a note: a locked note's locked title alone (nothing of a private body stays here), else
// its title and body. The buffer is kept at its own size: lowering grows it past what it holds.
void fillNoteTexts(Folded& f, const QUuid& id, bool locked, bool trashed, const QString& title, const QString& body)
{
    f.id = id;
    f.locked = locked;
    f.trashed = trashed;
    if (locked) {
        std::string().swap(f.text);
        SearchFolding::appendLowered(Note::lockedTitle(title), f.text);
        f.first = f.text.size();
    } else {
        SearchFolding::appendLowered(title, f.text);
        f.first = f.text.size();
        SearchFolding::appendLowered(body, f.text);
        f.second = f.text.size() - f.first;
    }
    f.text.shrink_to_fit();
}

// The same from stored UTF-8, as the file holds it.
void fillNoteTextsUtf8(Folded& f, const QUuid& id, bool locked, bool trashed, std::string_view title,
                       std::string_view body)
{
    if (locked) {
        fillNoteTexts(f, id, locked, trashed, QString::fromUtf8(title.data(), qsizetype(title.size())), QString());
        return;
    }
    f.id = id;
    f.locked = locked;
    f.trashed = trashed;
    // Lowered text mostly takes as many bytes as it had.
    f.text.reserve(f.text.size() + title.size() + body.size());
    SearchFolding::appendLoweredUtf8(title, f.text);
    f.first = f.text.size();
    SearchFolding::appendLoweredUtf8(body, f.text);
    f.second = f.text.size() - f.first;
    f.text.shrink_to_fit();
}

void fillNote(const Note& note, Folded& f)
{
    const bool locked = note.isLocked();
    fillNoteTexts(f, note.uuid(), locked, note.isTrashed(), note.title(), locked ? QString() : note.body());
}

void fillCaptureTexts(Folded& f, const QUuid& id, qint64 createdMs, const QString& text,
                      const std::optional<QString>& app, const std::optional<QString>& title)
{
    f.id = id;
    f.createdMs = createdMs;
    SearchFolding::appendLowered(text, f.text);
    f.first = f.text.size();
    if (app) SearchFolding::appendLowered(*app, f.text);
    f.second = f.text.size() - f.first;
    if (title) SearchFolding::appendLowered(*title, f.text);
    f.text.shrink_to_fit();
}

void fillCaptureTextsUtf8(Folded& f, const QUuid& id, qint64 createdMs, std::string_view text,
                          std::optional<std::string_view> app, std::optional<std::string_view> title)
{
    f.id = id;
    f.createdMs = createdMs;
    f.text.reserve(f.text.size() + text.size() + (app ? app->size() : 0) + (title ? title->size() : 0));
    SearchFolding::appendLoweredUtf8(text, f.text);
    f.first = f.text.size();
    if (app) SearchFolding::appendLoweredUtf8(*app, f.text);
    f.second = f.text.size() - f.first;
    if (title) SearchFolding::appendLoweredUtf8(*title, f.text);
    f.text.shrink_to_fit();
}

void fillCapture(const Capture& capture, Folded& f)
{
    fillCaptureTexts(f, capture.uuid(), capture.createdAt().toMSecsSinceEpoch(), capture.text(), capture.sourceApp(),
                     capture.sourceTitle());
}

// Entries lowered from stored rows, in row order, for finding by row.
struct StoredEntries {
    std::vector<qint64> rows;
    std::vector<Folded> entries;
    // Row ids are mostly dense: where an entry lies, by row id less the first, when that table is not
    // much larger than the entries (-1 where no row).
    std::vector<qint32> at;

    void index()
    {
        at.clear();
        if (rows.empty() || rows.back() - rows.front() >= qint64(rows.size()) * 4 + 1024) return;
        at.assign(size_t(rows.back() - rows.front() + 1), -1);
        for (size_t i = 0; i < rows.size(); ++i) at[size_t(rows[i] - rows.front())] = qint32(i);
    }

    Folded* find(qint64 row)
    {
        if (!at.empty()) {
            if (row < rows.front() || row > rows.back()) return nullptr;
            const qint32 i = at[size_t(row - rows.front())];
            return i < 0 ? nullptr : &entries[size_t(i)];
        }
        const auto it = std::lower_bound(rows.begin(), rows.end(), row);
        return it != rows.end() && *it == row ? &entries[size_t(it - rows.begin())] : nullptr;
    }
};

// Lowers the searchable texts of every stored note outside the bin and every capture, straight from the
// store's file. Run on a worker: it touches no object. Each table is read in a few stretches at once,
// each lowered by its own reader as it goes; notes and captures are read side by side.
bool lowerStoredTexts(const QString& path, StoredEntries& notes, StoredEntries& captures)
{
    const int parts = StoreRowReader::partsForThisMachine();
    std::vector<StoredEntries> noteParts(static_cast<size_t>(parts)), captureParts(static_cast<size_t>(parts));
    // Values: locked, trashed, title, body (never read for a locked note), id.
    auto lowerNote = [&noteParts](int part, const StoreRowReader::RawRow& row) {
        if (row.flag(1)) return;
        StoredEntries& into = noteParts[size_t(part)];
        into.rows.push_back(row.rowID());
        fillNoteTextsUtf8(into.entries.emplace_back(), row.uuid(4), row.flag(0), false, row.bytes(2), row.bytes(3));
    };
    // Values: text, source name, page title, creation date, id.
    auto lowerCapture = [&captureParts](int part, const StoreRowReader::RawRow& row) {
        StoredEntries& into = captureParts[size_t(part)];
        into.rows.push_back(row.rowID());
        const qint64 createdMs = row.isNull(3) ? 0 : qRound64(row.number(3) * 1000.0);
        fillCaptureTextsUtf8(into.entries.emplace_back(), row.uuid(4), createdMs, row.bytes(0),
                             row.isNull(1) ? std::nullopt : std::optional(row.bytes(1)),
                             row.isNull(2) ? std::nullopt : std::optional(row.bytes(2)));
    };
    bool capturesRead = false;
    auto readCaptures = [&] {
        capturesRead = bool(StoreRowReader::scan(
            path, Capture::entityDescription(),
            {Capture::Text, Capture::SourceApp, Capture::SourceTitle, Capture::CreatedAt, Capture::Uuid}, parts,
            lowerCapture));
    };
    std::thread captureReader;
    try {
        captureReader = std::thread(readCaptures);
    } catch (const std::system_error&) {
        readCaptures();
    }
    const auto readNotes = StoreRowReader::scan(path, Note::entityDescription(),
                                                {Note::IsLocked, Note::IsTrashed, Note::Title, Note::Body, Note::Uuid},
                                                parts, lowerNote, {Note::IsLocked, {Note::Body}});
    if (captureReader.joinable()) captureReader.join();
    auto join = [](std::vector<StoredEntries>& from, StoredEntries& into) {
        size_t total = 0;
        for (const StoredEntries& part : from) total += part.rows.size();
        into.rows.reserve(total);
        into.entries.reserve(total);
        for (StoredEntries& part : from) {
            into.rows.insert(into.rows.end(), part.rows.begin(), part.rows.end());
            std::move(part.entries.begin(), part.entries.end(), std::back_inserter(into.entries));
            part = StoredEntries();
        }
    };
    join(noteParts, notes);
    join(captureParts, captures);
    return readNotes && capturesRead;
}

struct DatedCapture {
    qint64 createdMs;
    Capture* capture;
    QUuid id;
};

// Newest first; captures of the same moment keep the order they came in.
QList<Capture*> newestFirst(std::vector<DatedCapture>& dated, QList<QUuid>* ids)
{
    std::stable_sort(dated.begin(), dated.end(),
                     [](const DatedCapture& a, const DatedCapture& b) { return a.createdMs > b.createdMs; });
    QList<Capture*> result;
    result.reserve(qsizetype(dated.size()));
    for (const DatedCapture& d : dated) result.push_back(d.capture);
    if (ids) {
        ids->reserve(qsizetype(dated.size()));
        for (const DatedCapture& d : dated) ids->push_back(d.id);
    }
    return result;
}

}  // namespace

// What a prewarm reads of a note on the main thread, for the worker to lower.
struct PlainNote {
    QUuid id;
    QString title;
    QString body;
    bool locked = false;
    bool trashed = false;
};

struct Prewarm {
    // From the store's file: the worker reads and lowers everything; the objects are met only when the
    // entries are taken in.
    bool fromStore = false;
    bool failed = false;
    StoredEntries storedNotes;
    StoredEntries storedCaptures;

    // From the objects, read here in slices.
    QList<Note*> notes;
    std::vector<quint64> serials;
    std::vector<quint64> versions;
    std::vector<PlainNote> plain;
    std::vector<Folded> folded;
};

struct SearchEngine::Cache {
    FoldedTable notes;
    FoldedTable captures;
    std::shared_ptr<Prewarm> prewarm;
};

SearchEngine::SearchEngine(Source source, QObject* parent)
    : QObject(parent), m_source(std::move(source)), m_cache(std::make_unique<Cache>())
{
}

SearchEngine::~SearchEngine()
{
    if (m_worker.joinable()) m_worker.join();
}

bool SearchEngine::prewarming() const
{
    return m_cache->prewarm != nullptr;
}

void SearchEngine::prewarm()
{
    if (m_cache->prewarm || m_cache->notes.size() > 0) return;
    const QString path = m_source.storePath ? m_source.storePath() : QString();
    if (!path.isEmpty()) {
        auto job = std::make_shared<Prewarm>();
        job->fromStore = true;
        m_cache->prewarm = job;
        if (m_worker.joinable()) m_worker.join();
        m_worker = std::thread([this, job, path] {
            job->failed = !lowerStoredTexts(path, job->storedNotes, job->storedCaptures);
            job->storedNotes.index();
            job->storedCaptures.index();
            QMetaObject::invokeMethod(
                this, [this] { adoptPrewarm(); }, Qt::QueuedConnection);
        });
        return;
    }
    prewarmFromObjects();
}

void SearchEngine::prewarmFromObjects()
{
    if (!m_source.activeNotes) return;
    m_cache->prewarm = std::make_shared<Prewarm>();
    m_cache->prewarm->notes = m_source.activeNotes();
    readPrewarmSlice(0);
}

// Reading the values goes in slices, so the event loop never waits long.
void SearchEngine::readPrewarmSlice(qsizetype from)
{
    const std::shared_ptr<Prewarm> job = m_cache->prewarm;
    if (!job || job->fromStore) return;
    constexpr qsizetype slice = 2048;
    const qsizetype to = std::min(job->notes.size(), from + slice);
    for (qsizetype i = from; i < to; ++i) {
        Note* note = job->notes[i];
        job->serials.push_back(note ? note->serial() : 0);
        job->versions.push_back(note ? note->version() : 0);
        PlainNote p;
        if (note) {
            p.id = note->uuid();
            p.locked = note->isLocked();
            p.trashed = note->isTrashed();
            p.title = note->title();
            if (!p.locked) p.body = note->body();
        }
        job->plain.push_back(std::move(p));
    }
    if (to < job->notes.size()) {
        MainQueue::nextTurn(this, [this, to] { readPrewarmSlice(to); });
        return;
    }
    if (m_worker.joinable()) m_worker.join();
    // The worker sees only plain values; the objects stay on this thread.
    m_worker = std::thread([this, job] {
        job->folded.resize(job->plain.size());
        for (size_t i = 0; i < job->plain.size(); ++i) {
            const PlainNote& p = job->plain[i];
            fillNoteTexts(job->folded[i], p.id, p.locked, p.trashed, p.title, p.body);
        }
        std::vector<PlainNote>().swap(job->plain);
        QMetaObject::invokeMethod(
            this, [this] { adoptPrewarm(); }, Qt::QueuedConnection);
    });
}

void SearchEngine::finishPrewarm()
{
    const std::shared_ptr<Prewarm> job = m_cache->prewarm;
    if (!job || !job->fromStore) return;
    // The worker started with the launch and is done or nearly so: waiting for it is far shorter than
    // lowering every object here.
    if (m_worker.joinable()) m_worker.join();
    adoptPrewarm();
}

namespace {
// Entries for the listed objects, in list order: an object unchanged since it was loaded takes the one
// lowered from its stored row; any other (changed since, or never stored) is lowered here.
template <typename T, typename Fill>
std::vector<Folded> takeStored(const QList<T*>& objects, StoredEntries& stored, Fill fill)
{
    std::vector<Folded> entries;
    entries.reserve(size_t(objects.size()));
    for (T* object : objects) {
        Folded& f = entries.emplace_back();
        if (!object) continue;
        Folded* found = object->rowID() != 0 && object->version() == 0 ? stored.find(object->rowID()) : nullptr;
        if (found)
            f = std::move(*found);
        else
            fill(*object, f);
        f.key = object;
        f.serial = object->serial();
        f.version = object->version();
    }
    return entries;
}
}  // namespace

void SearchEngine::adoptPrewarm()
{
    const std::shared_ptr<Prewarm> job = std::move(m_cache->prewarm);
    if (!job) return;
    if (job->fromStore) {
        if (job->failed) {
            prewarmFromObjects();
            return;
        }
        if (m_cache->notes.size() == 0 && m_source.activeNotes)
            m_cache->notes.adopt(takeStored(m_source.activeNotes(), job->storedNotes, fillNote), changeCount());
        if (m_cache->captures.size() == 0 && m_source.captures)
            m_cache->captures.adopt(takeStored(m_source.captures(), job->storedCaptures, fillCapture), changeCount());
        return;
    }
    if (job->folded.size() != size_t(job->notes.size())) return;
    // A search that ran meanwhile has its own entries; a note changed since is lowered again when met.
    for (size_t i = 0; i < job->folded.size(); ++i) {
        Folded& f = job->folded[i];
        f.key = job->notes[qsizetype(i)];
        f.serial = job->serials[i];
        f.version = job->versions[i];
    }
    m_cache->notes.adopt(std::move(job->folded));
}

std::optional<quint64> SearchEngine::changeCount() const
{
    return m_source.changeCount ? std::optional<quint64>(m_source.changeCount()) : std::nullopt;
}

QList<Note*> SearchEngine::search(const QString& query)
{
    return search(query, nullptr);
}

QList<Note*> SearchEngine::search(const QString& query, QList<QUuid>* ids)
{
    finishPrewarm();
    if (ids) ids->clear();
    QList<Note*> notes = m_source.activeNotes ? m_source.activeNotes() : QList<Note*>();
    const QString trimmed = query.trimmed();
    if (trimmed.isEmpty()) {
        notes.removeIf([](const Note* note) { return !note || note->isTrashed(); });
        return notes;
    }

    const std::string needle = SearchFolding::lowered(trimmed);
    m_cache->notes.begin(notes.size(), changeCount());
    // One list per rank, 3 down to 1, each in fetched order: a stable sort by rank without comparisons.
    QList<Note*> byRank[3];
    QList<QUuid> idsByRank[3];
    for (Note* note : std::as_const(notes)) {
        if (!note) continue;
        const Folded& f = m_cache->notes.next(note, [note](Folded& e) { fillNote(*note, e); });
        if (f.trashed) continue;
        const bool inTitle = SearchFolding::contains(f.part(0), needle);
        const bool inBody = !f.locked && SearchFolding::contains(f.part(1), needle);
        const int rank = (inTitle ? 2 : 0) + (inBody ? 1 : 0);
        if (rank > 0) {
            byRank[3 - rank].push_back(note);
            if (ids) idsByRank[3 - rank].push_back(f.id);
        }
    }
    m_cache->notes.finish();

    QList<Note*> result;
    result.reserve(byRank[0].size() + byRank[1].size() + byRank[2].size());
    for (const QList<Note*>& group : byRank) result.append(group);
    if (ids) {
        ids->reserve(result.size());
        for (const QList<QUuid>& group : idsByRank) ids->append(group);
    }
    return result;
}

QList<Capture*> SearchEngine::searchCaptures(const QString& query)
{
    return searchCaptures(query, nullptr);
}

QList<Capture*> SearchEngine::searchCaptures(const QString& query, QList<QUuid>* ids)
{
    finishPrewarm();
    if (ids) ids->clear();
    const QList<Capture*> captures = m_source.captures ? m_source.captures() : QList<Capture*>();
    std::vector<DatedCapture> kept;
    const QString trimmed = query.trimmed();
    if (trimmed.isEmpty()) {
        kept.reserve(size_t(captures.size()));
        for (Capture* capture : captures)
            if (capture) kept.push_back({capture->createdAt().toMSecsSinceEpoch(), capture, QUuid()});
        return newestFirst(kept, nullptr);
    }

    const std::string needle = SearchFolding::lowered(trimmed);
    m_cache->captures.begin(captures.size(), changeCount());
    for (Capture* capture : captures) {
        if (!capture) continue;
        const Folded& f = m_cache->captures.next(capture, [capture](Folded& e) { fillCapture(*capture, e); });
        if (SearchFolding::contains(f.part(0), needle) || SearchFolding::contains(f.part(1), needle) ||
            SearchFolding::contains(f.part(2), needle)) {
            kept.push_back({f.createdMs, capture, f.id});
        }
    }
    m_cache->captures.finish();
    return newestFirst(kept, ids);
}

qsizetype SearchEngine::cachedObjectCount() const
{
    return m_cache->notes.size() + m_cache->captures.size();
}
