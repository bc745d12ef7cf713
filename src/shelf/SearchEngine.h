#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

class Capture;
class Note;

// The one search service: which notes match a query, best first, and which captures match it, newest
// first. Every call reads the stored data afresh, so results always follow the last save. Matching is
// on the whole trimmed query as one run, lower-cased on both sides (Unicode default mapping, no
// locale), on whole characters: case is ignored, accents are not.
//
// There is no index. To keep each keystroke cheap over many notes, the lower-cased texts of each note
// and capture are kept between calls, keyed on the object and its version: a changed object is lowered
// again, and objects that are gone (deleted, or no longer handed in) are forgotten at the end of the
// next call. Locked notes keep nothing of their body here.
//
// Main thread only.
class SearchEngine : public QObject {
    Q_OBJECT
public:
    // Where the stored data comes from: the application hands in NoteStore::allActive() and
    // NoteStore::captures(); tests hand in lists of their own.
    struct Source {
        // Every note not in the bin, newest update first; empty when the read fails.
        std::function<QList<Note*>()> activeNotes;
        // Every capture, newest first; empty when the read fails.
        std::function<QList<Capture*>()> captures;
        // The store's file, when there is one: a prewarm then reads and lowers the stored texts on a
        // worker, without the objects.
        std::function<QString()> storePath;
        // The store's change count, which advances on every insert, delete and change of an object:
        // while it stays the same, kept texts are taken for the objects listed again without looking
        // at each one.
        std::function<quint64()> changeCount;
    };

    explicit SearchEngine(Source source, QObject* parent = nullptr);
    ~SearchEngine() override;

    // The notes that match, best first: title and body (3), title (2), body (1); a locked note matches
    // by its locked title alone and ranks 2. Equal ranks keep the newest-update-first order. A blank
    // query gives every note outside the bin, locked ones included.
    QList<Note*> search(const QString& query);
    // The captures whose text, source application name or page title holds the query, newest first.
    // A blank query gives every capture.
    QList<Capture*> searchCaptures(const QString& query);
    // The same, with the ids of the results in `ids`, in result order, taken from what is kept for
    // each object rather than read from the objects. Left empty for a blank query.
    QList<Note*> search(const QString& query, QList<QUuid>* ids);
    QList<Capture*> searchCaptures(const QString& query, QList<QUuid>* ids);

    // Lowers the texts of every listed note and capture ahead of the first search, so that one is as
    // quick as the next. With a store file the worker reads them from it (call this before the launch
    // loads the objects, so the two overlap), and a search that comes before it is done waits for it
    // rather than lowering everything itself. Without one, or when that read fails, the notes' values
    // are read here in slices and lowered on the worker. The results are taken into the cache here
    // unless a search has filled it first.
    void prewarm();
    // True while a prewarm is under way (for tests).
    bool prewarming() const;

    // How many notes and captures have lowered texts kept (for tests and measurements).
    qsizetype cachedObjectCount() const;

private:
    struct Cache;
    Source m_source;
    void prewarmFromObjects();
    void readPrewarmSlice(qsizetype from);
    void adoptPrewarm();
    void finishPrewarm();
    std::optional<quint64> changeCount() const;

    std::unique_ptr<Cache> m_cache;
    std::thread m_worker;
};
