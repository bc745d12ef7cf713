#include "shelf/SearchEngine.h"

#include <QPointer>
#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/Capture.h"
#include "model/Note.h"
#include "shelf/SearchFolding.h"

namespace {

// The lowered searchable texts of one object, as they were at one version of it. Up to three texts
// lie back to back in one buffer so that filling an entry allocates once.
struct Folded {
    QPointer<ManagedObject> object;  // null once the object is destroyed, even if its address is reused
    quint64 version = 0;
    quint64 pass = 0;
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

class FoldedTable {
public:
    // The entry of object, lowered again when it is new or the object changed since. Counts the
    // entries first reached in this pass into seen.
    template <typename Fill>
    const Folded& get(ManagedObject* object, quint64 pass, qsizetype& seen, Fill&& fill)
    {
        auto [it, inserted] = m_entries.try_emplace(object);
        Folded& f = it->second;
        if (inserted || f.object.data() != object || f.version != object->version()) {
            if (f.object.data() != object) f.object = object;
            f.version = object->version();
            f.text.clear();
            f.first = f.second = 0;
            fill(f);
        }
        if (f.pass != pass) {
            f.pass = pass;
            ++seen;
        }
        return f;
    }

    // Forgets every entry not reached in this pass: objects destroyed, deleted or no longer listed.
    void sweep(quint64 pass, qsizetype seen)
    {
        if (qsizetype(m_entries.size()) <= seen) return;
        std::erase_if(m_entries, [pass](const auto& entry) { return entry.second.pass != pass; });
    }

    qsizetype size() const { return qsizetype(m_entries.size()); }

private:
    std::unordered_map<const ManagedObject*, Folded> m_entries;
};

void fillNote(const Note& note, Folded& f)
{
    f.locked = note.isLocked();
    f.trashed = note.isTrashed();
    if (f.locked) {
        // Only the locked title is ever matched: nothing of a private body stays here.
        std::string().swap(f.text);
        SearchFolding::appendLowered(note.lockedTitle(), f.text);
        f.first = f.text.size();
        return;
    }
    SearchFolding::appendLowered(note.title(), f.text);
    f.first = f.text.size();
    SearchFolding::appendLowered(note.body(), f.text);
    f.second = f.text.size() - f.first;
}

void fillCapture(const Capture& capture, Folded& f)
{
    f.createdMs = capture.createdAt().toMSecsSinceEpoch();
    SearchFolding::appendLowered(capture.text(), f.text);
    f.first = f.text.size();
    if (const auto app = capture.sourceApp()) SearchFolding::appendLowered(*app, f.text);
    f.second = f.text.size() - f.first;
    if (const auto title = capture.sourceTitle()) SearchFolding::appendLowered(*title, f.text);
}

// Newest first; captures of the same moment keep the order they came in.
QList<Capture*> newestFirst(std::vector<std::pair<qint64, Capture*>>& dated)
{
    std::stable_sort(dated.begin(), dated.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    QList<Capture*> result;
    result.reserve(qsizetype(dated.size()));
    for (const auto& d : dated) result.push_back(d.second);
    return result;
}

}  // namespace

struct SearchEngine::Cache {
    FoldedTable notes;
    FoldedTable captures;
    quint64 pass = 0;
};

SearchEngine::SearchEngine(Source source, QObject* parent)
    : QObject(parent), m_source(std::move(source)), m_cache(std::make_unique<Cache>())
{
}

SearchEngine::~SearchEngine() = default;

QList<Note*> SearchEngine::search(const QString& query)
{
    QList<Note*> notes = m_source.activeNotes ? m_source.activeNotes() : QList<Note*>();
    const QString trimmed = query.trimmed();
    if (trimmed.isEmpty()) {
        notes.removeIf([](const Note* note) { return !note || note->isTrashed(); });
        return notes;
    }

    const std::string needle = SearchFolding::lowered(trimmed);
    const quint64 pass = ++m_cache->pass;
    qsizetype seen = 0;
    // One list per rank, 3 down to 1, each in fetched order: a stable sort by rank without comparisons.
    QList<Note*> byRank[3];
    for (Note* note : std::as_const(notes)) {
        if (!note) continue;
        const Folded& f = m_cache->notes.get(note, pass, seen, [note](Folded& e) { fillNote(*note, e); });
        if (f.trashed) continue;
        const bool inTitle = SearchFolding::contains(f.part(0), needle);
        const bool inBody = !f.locked && SearchFolding::contains(f.part(1), needle);
        const int rank = (inTitle ? 2 : 0) + (inBody ? 1 : 0);
        if (rank > 0) byRank[3 - rank].push_back(note);
    }
    m_cache->notes.sweep(pass, seen);

    QList<Note*> result;
    result.reserve(byRank[0].size() + byRank[1].size() + byRank[2].size());
    for (const QList<Note*>& group : byRank) result.append(group);
    return result;
}

QList<Capture*> SearchEngine::searchCaptures(const QString& query)
{
    const QList<Capture*> captures = m_source.captures ? m_source.captures() : QList<Capture*>();
    std::vector<std::pair<qint64, Capture*>> kept;
    const QString trimmed = query.trimmed();
    if (trimmed.isEmpty()) {
        kept.reserve(size_t(captures.size()));
        for (Capture* capture : captures)
            if (capture) kept.emplace_back(capture->createdAt().toMSecsSinceEpoch(), capture);
        return newestFirst(kept);
    }

    const std::string needle = SearchFolding::lowered(trimmed);
    const quint64 pass = ++m_cache->pass;
    qsizetype seen = 0;
    for (Capture* capture : captures) {
        if (!capture) continue;
        const Folded& f =
            m_cache->captures.get(capture, pass, seen, [capture](Folded& e) { fillCapture(*capture, e); });
        if (SearchFolding::contains(f.part(0), needle) || SearchFolding::contains(f.part(1), needle) ||
            SearchFolding::contains(f.part(2), needle))
            kept.emplace_back(f.createdMs, capture);
    }
    m_cache->captures.sweep(pass, seen);
    return newestFirst(kept);
}

qsizetype SearchEngine::cachedObjectCount() const
{
    return m_cache->notes.size() + m_cache->captures.size();
}
