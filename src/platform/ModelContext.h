#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QVarLengthArray>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/FetchDescriptor.h"
#include "platform/ManagedObject.h"
#include "platform/Result.h"
#include "platform/Schema.h"
#include "platform/StoreError.h"

class SqliteDatabase;
struct sqlite3_stmt;

// The main context of a container: where objects are fetched, inserted, deleted and saved. Lives on
// the main thread.
//
// Identity: one row is one object per context. The first fetch of an entity loads all its rows;
// later fetches of it are answered from memory, with unsaved inserts and changes included and
// unsaved deletions left out.
//
// Ownership: the context owns every object inserted into it or fetched from it and destroys them
// with itself. A deleted object stays valid (isDeleted() true) until the context is destroyed, so a
// window that still holds one never dangles. Never delete an object that a context owns.
//
// Autosave (on unless switched off): the first change after a save schedules one save on the next
// turn of the event loop, so a burst of changes made in one handler is written in one transaction.
// An autosave of a megabyte or more is written by a thread of its own on the context's connection,
// so the main thread is not held while SQLite writes and syncs it: the values are taken as they are
// when it starts, and an object is marked saved only as to those values (a change made meanwhile
// stays pending and is written next). Whatever else needs the connection (save(), a fetch that reads
// the store, a large value read on first use, a checkpoint) first waits for that write to end.
class ModelContext : public QObject {
    Q_OBJECT
public:
    ModelContext(const Schema& schema, SqliteDatabase& database, QObject* parent = nullptr);
    ~ModelContext() override;

    // Takes ownership of a new object (one that no context holds) and schedules it for insertion.
    // An object whose entity is not in the schema is kept alive but never stored.
    void insert(ManagedObject* object);
    template <typename T>
    T* insert(std::unique_ptr<T> object)
    {
        T* raw = object.release();
        insert(static_cast<ManagedObject*>(raw));
        return raw;
    }
    // Deletes the object at the next save. An object inserted and deleted before a save leaves no
    // trace. ("delete" is a C++ keyword.)
    void remove(ManagedObject* object);

    // Objects of one entity. Fails only when the rows could not be read from the store.
    Result<QList<ManagedObject*>, StoreError> fetch(const EntityDescription& entity, const FetchRequest& request = {});
    // Typed fetch; T names its entity with a static `entityDescription()`.
    template <typename T>
    Result<QList<T*>, StoreError> fetch(const FetchDescriptor<T>& descriptor = {})
    {
        return fetch<T>(T::entityDescription(), descriptor);
    }
    template <typename T>
    Result<QList<T*>, StoreError> fetch(const EntityDescription& entity, const FetchDescriptor<T>& descriptor)
    {
        FetchRequest request{nullptr, descriptor.sort, descriptor.limit};
        if (descriptor.predicate)
            request.predicate = [&p = descriptor.predicate](const ManagedObject& o) {
                return p(static_cast<const T&>(o));
            };
        auto r = fetch(entity, request);
        if (!r) return r.error();
        QList<T*> out;
        out.reserve(r->size());
        for (ManagedObject* o : *r) out.append(static_cast<T*>(o));
        return out;
    }

    // Objects of the entity whose Uuid attribute holds `id`, unsaved inserts included and deleted ones
    // left out, in the order a fetch finds them (stored rows by row, then inserts). An indexed
    // attribute answers without a scan; any other is scanned.
    Result<QList<ManagedObject*>, StoreError> objectsWith(const EntityDescription& entity, int attribute,
                                                          const QUuid& id);
    template <typename T>
    Result<QList<T*>, StoreError> objectsWith(int attribute, const QUuid& id)
    {
        auto r = objectsWith(T::entityDescription(), attribute, id);
        if (!r) return r.error();
        QList<T*> out;
        out.reserve(r->size());
        for (ManagedObject* o : *r) out.append(static_cast<T*>(o));
        return out;
    }

    // True when a save would write something: an insert, a delete of a stored row, or an attribute
    // that differs from its stored value.
    bool hasChanges() const;
    // Writes every pending change in one transaction. On failure the database is rolled back and
    // every change stays pending in memory, so a later save can write it. A write running in the
    // background is waited for first: when this returns, every change made before the call is on disk
    // or reported failed.
    Status<StoreError> save();
    // The same as an autosave writes: once getting the store a file again failed, it fails with that
    // cause rather than copying the whole store once more (see keepStoreFile). For changes as small
    // and frequent as the keys an autosave writes (a window's place).
    Status<StoreError> saveAsAutosave();

    // Like save(), except that a write of kBackgroundWriteBytes or more is started in the background
    // and none is returned: its outcome is the next saveFinished. A smaller one is written at once.
    std::optional<Status<StoreError>> saveInBackground();

    // True while a save is being written in the background.
    bool isWriting() const { return m_write != nullptr; }
    // Waits for a background write to end and takes in its outcome (saveFinished is emitted for it).
    void waitForWrite();
    // Autosaves of at least this many bytes of text and data are written in the background.
    static constexpr qint64 kBackgroundWriteBytes = 1 << 20;

    // Copies what the write-ahead log holds into the database file and truncates the log to nothing.
    // With secure delete on, content that a save overwrote is then gone from every store file.
    Status<StoreError> checkpoint();
    // When the store's file is no longer at its path (a cleanup tool removed it, or a restore or sync
    // tool put another file there), writes the whole store anew from this connection and goes on with
    // it: at its own path after a removal; after a replacement in a file of its own beside the one put
    // there, which is left as it was put (see storeFileMoved). Saves do this by themselves; the
    // container does it once more before it closes. Nothing to do while the file is in place. Once it
    // failed, autosaves no longer try it (each would copy the whole store, at every key typed, onto a
    // disk that just refused it): they fail with the same cause until a save() or a call here gets
    // the store a file again.
    Status<StoreError> keepStoreFile();
    // The file this connection opened is gone from its path, removed or with another file in its
    // place, and the store has no file of its own again yet: what it holds lives only in this process.
    bool storeFileGone() const;
    // Why the last try to get the store a file again failed, while no later try or save said otherwise.
    const std::optional<StoreError>& keepFailure() const { return m_keepFailure; }
    // Where the store is kept after another file took its place: its folder, its name with "-kept-"
    // and the time (yyyyMMdd-HHmmss) before the extension, and a count when that is taken.
    static QString keptPathFor(const QString& path, const QDateTime& now);

    // Advances on every insert, delete and real change of a value: lists derived from the objects
    // are current while it stays the same.
    quint64 changeCount() const { return m_changeCount; }

    bool autosaveEnabled() const { return m_autosave; }
    void setAutosaveEnabled(bool enabled);

    const Schema& schema() const { return m_schema; }

    // How an object is written when some of its values must never reach the store as they are held
    // (the content of an unlocked private note). Given the held values, a form fills `stored` with
    // what the row is to hold and returns the attributes it replaced (a bit each; none: stored as
    // held). It runs on the main thread for every object a save writes. An attribute stored otherwise
    // than held is always written together with the object and is never let go of in memory, since
    // reading it back from the store would not give the held value.
    using StoredForm = std::function<quint64(const ManagedObject& object, QVector<QVariant>& stored)>;
    void setStoredForm(StoredForm form) { m_storedForm = std::move(form); }
    // Has the next save write the object's row again as it is held now, where its row holds another
    // form of it (the form no longer applies).
    void rewrite(ManagedObject* object);
    // The store's file, for readers with connections of their own; empty for a store in memory.
    QString storePath() const;

    // Called by a managed object after a real change of one of its values.
    void objectDidChange(ManagedObject* object);
    // The value of one attribute as the store holds it for the object's row; none when it cannot be
    // read (logged).
    QVariant storedValue(const ManagedObject& object, int attribute);
    // The values of one attribute of many objects of one entity, read in one pass: values an object
    // holds (read before, or changed) come from it; the others from the store, without keeping them
    // on the objects.
    QVector<QVariant> peekValues(const QList<ManagedObject*>& objects, int attribute);
    // Lets go of the large values read so far of every stored object left unchanged.
    void releaseLargeValues();

    // False when no two live objects of the entity hold the same value of this indexed Uuid attribute,
    // known without a scan; true when they may.
    bool mayShareValues(const EntityDescription& entity, int attribute);
    // Called by a managed object that took a large value into memory (read, set or inserted with it), so
    // that releaseLargeValues() looks at it.
    void holdsLargeValues(ManagedObject* object);
    // Called by a managed object just before an indexed attribute takes a different value.
    void indexedValueWillChange(ManagedObject* object, int attribute, const QVariant& from, const QVariant& to);

Q_SIGNALS:
    // After every save that had changes to write (autosave included): empty when they are on disk,
    // else why they are not.
    void saveFinished(const QString& failure);
    // The store was written anew at `path` by keepStoreFile() and goes on there; `replaced`: another
    // file had taken the place of the store's file.
    void storeFileMoved(const QString& path, bool replaced);

private:
    // Live objects by the value of one indexed Uuid attribute; none is held under the null UUID key
    // only when the attribute is none or null.
    struct UuidIndex {
        int attribute = -1;
        QHash<QUuid, QVarLengthArray<ManagedObject*, 1>> objects;
        qsizetype entries = 0;  // objects listed, over every key
    };
    struct EntityState {
        const EntityDescription* entity = nullptr;
        bool loaded = false;
        bool hasDeletedRows = false;
        std::vector<ManagedObject*> rows;  // stored rows, in row order
        QHash<qint64, ManagedObject*> byRow;
        std::vector<ManagedObject*> inserted;  // pending, in insertion order
        std::vector<UuidIndex> indexes;        // built when the entity is loaded
        quint64 lazy = 0;                      // attributes read on first use
        QByteArray selectSql;
        QByteArray insertSql;
    };

    EntityState* stateFor(const EntityDescription& entity);
    struct ReadRows;
    static quint64 readRow(sqlite3_stmt* s, const QVector<AttributeDescription>& attributes, quint64 lazy,
                           const QVector<QVariant>& fallbacks, QVariant* values);
    Status<StoreError> load(EntityState& state);
    std::optional<std::vector<ReadRows>> readInParallel(const EntityState& state, const QVector<QVariant>& fallbacks);
    // What one save writes, taken from the objects on the main thread; the transaction itself needs
    // nothing else, so it may run on another thread.
    struct Write;
    std::unique_ptr<Write> takeWrite() const;
    // The stored form's replacements for the object (none when it is stored as held).
    quint64 storedFormOf(const ManagedObject& object, QVector<QVariant>& stored) const;
    // One save's transaction: everything in `write` or nothing.
    static Status<StoreError> writeTransaction(SqliteDatabase& db, Write& write);
    Status<StoreError> saveAs(bool autosave);
    // Writes it here and now, and says so with saveFinished.
    Status<StoreError> writeNow(Write& write);
    // Gets the store a file again for a write that found it gone or replaced (see keepStoreFile).
    Status<StoreError> keepForWrite(const Write& write);
    // Marks saved what a committed write held, as it held it.
    void applyWrite(const Write& write);
    void startBackgroundWrite(std::unique_ptr<Write> write);
    // Called on the main thread once the writer thread is done.
    void backgroundWriteEnded(quint64 serial);
    void finishBackgroundWrite();
    void autosave();
    void scheduleAutosave();
    void addToIndexes(EntityState& state, ManagedObject* object);
    void removeFromIndexes(EntityState& state, ManagedObject* object);

    Schema m_schema;
    SqliteDatabase& m_db;
    std::vector<EntityState> m_states;
    QHash<const EntityDescription*, int> m_stateIndex;
    std::vector<ManagedObject*> m_owned;
    QSet<ManagedObject*> m_changed;              // stored objects that changed since the last save
    QSet<ManagedObject*> m_deleted;              // stored objects deleted since the last save
    std::vector<ManagedObject*> m_holdingLarge;  // objects that may hold a large value, each once
    bool m_autosave = true;
    bool m_autosaveScheduled = false;
    // The write in the background, if one runs; its serial tells its end from that of an earlier one.
    std::unique_ptr<Write> m_write;
    quint64 m_writeSerial = 0;
    bool m_autosaveAfterWrite = false;
    // What the last save wrote: autosaves after a large one are spaced out (see scheduleAutosave), so
    // typing in a long note does not write it whole at every key.
    qint64 m_lastSaveBytes = 0;
    quint64 m_insertSerial = 0;
    quint64 m_changeCount = 0;
    StoredForm m_storedForm;
    // Why the last keepStoreFile() could not get the store a file again, while that stands.
    std::optional<StoreError> m_keepFailure;
    // Counts the copies keepStoreFile() began, so that a call can tell that a write it waited for
    // already made one.
    quint64 m_keepTries = 0;
};
