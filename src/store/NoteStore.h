#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

#include "model/NoteBlock.h"
#include "model/NoteBlockEnvelope.h"
#include "model/NoteBlockMigration.h"
#include "model/ResolvedNoteTheme.h"
#include "platform/Clock.h"
#include "platform/FetchDescriptor.h"
#include "platform/Result.h"
#include "store/NoteSealing.h"
#include "store/ResolvedNoteLook.h"
#include "store/RetrySchedule.h"
#include "store/SyncState.h"
#include "store/ThemeCache.h"

class Capture;
class QFileSystemWatcher;
class LaunchBodyCheck;
class ManagedObject;
class ModelContext;
class Note;
class NoteImage;
class NoteTheme;
class NotificationCenter;
class Settings;

// The one way the rest of the application reads and changes stored data. Wraps the main context of
// the store container (autosave on); callers change entity properties directly and then call
// saveNow(). Publishes a little run-time state that many views watch; each signal fires only on a
// real change, except revisionChanged, which fires after every save attempt.
//
// Pictures are stored once per content hash within a note, never shared between notes. Nothing here
// writes a body into a note whose content is sealed (Note::isSealed).
class NoteStore : public QObject {
    Q_OBJECT
public:
    // Theme changes are announced on, and heard from, `notifications`.
    NoteStore(ModelContext& context, Clock& clock, Settings& settings, NotificationCenter& notifications,
              QObject* parent = nullptr);
    ~NoteStore() override;

    ModelContext& context() const { return m_context; }
    // Where changes of notes and themes are announced: the views that show the store's notes post and
    // observe there.
    NotificationCenter& notifications() const { return m_notifications; }

    // ---- Published state (not stored) ----

    // The note the user is working with. The store's own bin and purge operations leave it alone.
    std::optional<QUuid> activeNoteID() const { return m_activeNoteID; }
    void setActiveNoteID(const std::optional<QUuid>& id);
    // Advanced by one on every save attempt of saveNow(), failed ones included.
    qint64 revision() const { return m_revision; }
    // Notes whose stored body is of a newer envelope version than this build reads; the block editor
    // leaves them unchanged. Filled at start-up.
    const QSet<QUuid>& readOnlyNoteIDs() const { return m_readOnlyNoteIDs; }
    void setReadOnlyNoteIDs(const QSet<QUuid>& ids);
    SyncState syncState() const { return m_syncState; }
    void setSyncState(SyncState state);

    // ---- Lookups and queries ----

    // The most recently updated row with the UUID, binned notes included.
    Note* note(const QUuid& id);
    Capture* capture(const QUuid& id);
    // Whatever note owns it.
    NoteImage* image(const QUuid& id);
    // The note's picture rows, oldest first.
    QList<NoteImage*> images(const QUuid& noteID);
    // Newest first.
    QList<Capture*> captures();
    // Not in the bin, most recently updated first.
    QList<Note*> allActive();
    // Pinned and not in the bin, most recently updated first.
    QList<Note*> pinned();
    // The notes outside the bin that carry a reminder date, in no particular order.
    QList<Note*> withReminders();
    // In the bin, most recently binned first.
    QList<Note*> trashed();

    // ---- Making notes ----

    // What a new note starts with; everything else is as for any new note.
    struct NewNote {
        QString title;
        QString body;
        std::optional<QString> sourceApp;
        std::optional<QUrl> sourceURL;
    };
    struct CreatedNote {
        Note* note = nullptr;
        bool saved = true;  // false when the save failed: the note is held in memory only
        // A long note asked to be written in the background, still being written: `saved` is false
        // until the context's next saveFinished says how it went.
        bool writing = false;
    };
    // The one way a note is made: the default theme (and its tint, when the theme is a tint's), the given
    // content and source, stamped with the store's clock, saved once and then made the active note.
    // `alongside` inserts the rows that belong with the note (a capture) before that one save, so they
    // are stored together or not at all.
    // With `inBackground`, a long note is written without holding the main thread (see `writing`).
    CreatedNote createNote(const NewNote& content = {}, const std::function<void(Note&)>& alongside = {},
                           bool inBackground = false);
    // Takes back a note made here whose save failed, as if it had never been made (nothing of it was
    // written); it stops being the active note.
    void discardUnsaved(Note& note);

    // ---- Saving, the bin, purging, tags ----

    // Saves pending changes; with none, does nothing, unless the notes file is gone from its place or
    // still waits to be written back (see saveFailure), whatever the folder's watch has seen yet: that
    // is tried now. A failed save is logged and its
    // changes stay in memory for autosave or the next call. False only when a save was attempted and
    // failed. Edits held back by an editor (flushPendingEdits) are written into their notes first.
    bool saveNow();
    // The same for a change as small and frequent as a key typed (a window's place): while the notes
    // file waits to be written back, it leaves that to the retry schedule, as autosave does, rather
    // than copying the whole store at once. With nothing to save, does nothing.
    bool autosaveNow();
    // Like saveNow(), except that a write of a megabyte or more goes on in the background, so the main
    // thread is not held while SQLite writes and syncs it: nullopt until the context's next saveFinished
    // says how it went. A smaller one is written at once and its outcome returned.
    std::optional<bool> saveInBackground();
    // Why the changes held in memory are not on disk (the disk is full, the store is read-only, the
    // notes file was removed and could not be written back...): set by a failed save, autosave
    // included, and cleared by the next one that succeeds. While it is set, what waits is saved again
    // on its own, after 1 s, then 2 s, 4 s and every 5 s (and at once at the next edit, by autosave;
    // a notes file to write back waits for those tries or a saveNow(), since writing it back copies
    // the whole store).
    std::optional<QString> saveFailure() const { return m_saveFailure; }
    // Whether the notes file is gone from its place (removed, or another file put there) and the notes
    // could not be written to a file again: every note held would be lost with the process, not only
    // the latest changes.
    bool notesFileLost() const;
    // What the shelf and the note windows say while saves fail.
    static QString saveFailureText(const QString& failure)
    {
        return QStringLiteral("Notes aren\u2019t being saved: %1. Tarnwick keeps trying.").arg(failure);
    }
    // Where the notes are kept in this run since another file took the place of the notes file (a
    // restore or sync tool): that file is left as it was put there and opens at the next launch. None
    // while the notes file is where it was.
    std::optional<QString> keptFile() const { return m_keptFile; }
    // What the shelf says meanwhile.
    static QString keptFileText(const QString& path)
    {
        return QStringLiteral(
                   "Another file took the place of your notes file; it opens next time. Your notes are "
                   "kept in %1.")
            .arg(path);
    }
    // How long the store's folder stays unchanged before a removed or replaced notes file is dealt with.
    static constexpr qint64 storeFolderSettleMs = 1000;
    // How long at most, however busy the folder stays.
    static constexpr qint64 storeFolderLongestWaitMs = 3000;
    static constexpr qint64 firstRetryMs = RetrySchedule::firstDelayMs;
    static constexpr qint64 longestRetryMs = RetrySchedule::longestDelayMs;

    // An editor that holds back the typing in a long body for a moment (writing a body of megabytes
    // back at every key would cost more than the key) registers how to write it into its note now. The
    // store asks before every save and before it changes, seals or copies a note's body itself, so
    // nothing reads or overwrites a body with keys still held back. Removed with `owner`.
    // `takeIn` shows at once a body that was changed elsewhere (see takeInChangedBodies); `caretAtEnd`
    // answers whether the editor shows the note of that id with its caret at the very end of its body.
    void addPendingEdits(QObject* owner, std::function<void()> flush, std::function<void()> takeIn = {},
                         std::function<bool(const QUuid&)> caretAtEnd = {});
    void flushPendingEdits();
    // Whether an open editor of the note would put the next typed key at the end of its body: text
    // added there by the app would otherwise stand right after the caret on its line.
    bool caretAtBodyEnd(const QUuid& noteID);
    // An open editor shows a body changed outside it only on its next turn, and a key handled before
    // then would write the editor's old copy back over the change (a capture appended while the user
    // types). Whoever changes a body that may be open calls this once the change is whole.
    void takeInChangedBodies();
    void softDelete(Note& note);
    // The pin removed by softDelete is not given back.
    void restore(Note& note);
    // Deletes notes for good, with their picture rows (unless another row of the same note remains),
    // then saves once. An empty list saves nothing.
    void purge(Note& note);
    void purge(const QList<Note*>& notes);
    // Deletes for good the notes binned more than 30 days before `now` (exactly 30 days is kept).
    void purgeExpired(const QDateTime& now);
    // Tags of notes not in the bin and not locked, most used first (ties in order of first use).
    QStringList allTags();

    // ---- Body upkeep and picture rows ----

    // Converts a legacy body into blocks before anything reads or edits the note's blocks. True when
    // it converted; nothing is saved.
    bool ensureMigrated(Note& note);
    // Start-up: converts every unconverted unlocked note, and saves when any was.
    void migrateLegacyBodies();
    // The note's picture rows that hold bytes, keyed by content hash (the oldest row of a hash).
    QHash<QString, NoteImage*> rowsByHash(const QUuid& noteID);
    // Stores a picture for the note, or returns the row in `reusing` with the same content. None for
    // bytes that make no storable picture, or when the note's content is sealed. Nothing is saved.
    NoteImage* insertImageRow(const QByteArray& bytes, const QUuid& noteID, QHash<QString, NoteImage*>& reusing);
    // Turns legacy picture drafts into rows and points the blocks at them. None when a picture would
    // not store.
    std::optional<QVector<NoteBlock>> resolveDrafts(const NoteBlockMigration::Migrated& migrated, const QUuid& noteID);
    // Deletes the note's rows that its blocks no longer name (none of a locked or unreadable note).
    void collectOrphanImages(const QUuid& noteID);
    // Start-up: deletes rows no body names; a row without an owner note is kept for 48 hours first.
    void sweepOrphanImages(const QDateTime& now);
    // The usable paper width for sizing migrated pictures.
    static double paperWidth(const Note& note, const Settings& settings);

    // ---- Duplicate reconciliation ----

    // Start-up: leaves one row per identity of notes, captures, themes and pictures, re-derives the
    // read-only notes and repairs every unlocked note's stored body.
    void reconcileForSync();
    // Start-up, before anything reads the notes: has a worker look through the stored bodies, so that
    // reconcileForSync() repairs only what it found wrong (and checks everything when it found
    // nothing, having failed). Replaces a check started before.
    void startBodyCheck();
    // The same with a check of one's own (for tests).
    void startBodyCheck(std::unique_ptr<LaunchBodyCheck> check);

    // ---- Duplicating ----

    // A new, saved, active note with the given note's content and copies of its pictures. None for a
    // note whose content is sealed: there is no content to copy, and converting it would write an
    // empty body over the sealed one.
    Note* duplicate(Note& note);

    // ---- Theme resolution and theme library (NoteStoreThemes.cpp) ----

    // The note's theme with its overrides, and the wallpaper to draw with its brightness and blur.
    ResolvedNoteLook look(const Note& note);
    // Every stored theme resolved, in fetch order; from the cache when loaded.
    QVector<ResolvedNoteTheme> storedThemes();
    // The theme a new note would get.
    ResolvedNoteTheme defaultTheme();
    // Names the theme on the note (and its tint, for a tint's id), saves and announces it; the note's
    // overrides stay.
    void setTheme(const QString& themeID, Note& note);
    // Stores the note's current look as a new theme and moves the note onto it without overrides, so
    // it looks the same. Saves and announces.
    NoteTheme* saveLookAsTheme(const QString& name, Note& note);
    // The first stored row with the id; else a new one, saved but not announced: the caller edits it
    // and then posts tarnwickThemeChanged.
    NoteTheme* themeRow(const QString& themeID);
    // Deletes the first row with the id, saves and announces. Notes keep naming it and fall back to
    // their tint's theme.
    void deleteTheme(const QString& themeID);
    // The bytes of the user wallpaper with the id.
    std::optional<QByteArray> wallpaperData(const QString& wallpaperID);
    // Forgets the cached themes. For changes to theme rows made without tarnwickThemeChanged, such as
    // the reconciliation of duplicate rows.
    void invalidateThemeCache();

private:
    ThemeCache m_themeCache;

public:
    // ---- end of theme resolution and theme library ----

    static constexpr qint64 binRetentionSeconds = 2592000;   // 30 days
    static constexpr qint64 ownerlessGraceSeconds = 172800;  // 48 hours

Q_SIGNALS:
    void activeNoteIDChanged();
    void revisionChanged(qint64 revision);
    void readOnlyNoteIDsChanged();
    void syncStateChanged();
    void saveFailureChanged();
    void keptFileChanged();
    // The lock key of these locked notes went missing from the keyring and could not be stored again:
    // their content is kept in the clear (a failed seal) so that it still opens after a relaunch.
    void sealsUndone(const QList<QUuid>& noteIDs);

private:
    QList<Note*> fetch(std::function<bool(const Note&)> predicate, const QVector<SortDescriptor>& sort);
    // The standard note lists are kept until the context changes: the shelf, search and the endpoint
    // ask for them many times between two edits.
    struct KeptList {
        quint64 changeCount = 0;
        bool valid = false;
        QList<Note*> notes;
    };
    QList<Note*> kept(KeptList& list, std::function<bool(const Note&)> predicate, const QVector<SortDescriptor>& sort);
    KeptList m_allActive, m_pinned, m_trashed;
    QList<NoteImage*> imageRows(const QUuid& noteID);
    // Deletes the notes, and the picture rows of each UUID no remaining note row carries.
    void removeNotes(const QList<Note*>& notes);
    NoteImage* storeImageRow(const QByteArray& bytes, const QUuid& noteID, QHash<QString, NoteImage*>& reusing);

    bool migrateBody(Note& note);
    void healBlocks(Note& note);
    void healBlocks(Note& note, const Result<QVector<NoteBlock>, NoteBlockEnvelope::Error>& decoded);
    bool rebuildKeepingPictures(Note& note);
    std::optional<QSet<QUuid>> referencedImageIDs(const Note& note) const;
    static bool hasBytes(const NoteImage& image);
    // The theme whose font and ink a migrated body is measured against.
    ResolvedNoteTheme migrationTheme(const Note& note);

    // saveNow(), or autosaveNow() when `likeAutosave`.
    bool save(bool likeAutosave);
    // Notes how a save ended; schedules the next try while saves fail.
    void saveFinished(const QString& failure);

    // Writes the notes file again (or keeps the notes beside another file put in its place) as soon as
    // it is taken away, and says so when that fails.
    void checkStoreFile();
    // The same now, whatever waits: how it went is what saveFinished hears.
    bool writeStoreFileBack();
    // Watches the folder of the store file at `storePath`, and the folder that holds it.
    void watchStoreFolder(const QString& storePath);

    ModelContext& m_context;
    QFileSystemWatcher* m_storeFolder = nullptr;
    TimerHandle m_storeFolderSettle;
    qint64 m_storeFolderChangedAt = 0;  // the first change the settle waits on (boot-time ms)
    std::unique_ptr<LaunchBodyCheck> m_bodyCheck;
    Clock& m_clock;
    Settings& m_settings;
    NotificationCenter& m_notifications;
    std::optional<QUuid> m_activeNoteID;
    struct PendingEdits {
        QPointer<QObject> owner;
        std::function<void()> flush;
        std::function<void()> takeIn;
        std::function<bool(const QUuid&)> caretAtEnd;
    };
    std::vector<PendingEdits> m_pendingEdits;
    // Runs one of the calls every open editor registered.
    void askEditors(std::function<void()> PendingEdits::*call);
    qint64 m_revision = 0;
    std::optional<QString> m_saveFailure;
    std::optional<QString> m_keptFile;
    RetrySchedule m_retry{m_clock, this};
    QSet<QUuid> m_readOnlyNoteIDs;
    SyncState m_syncState = SyncState::offline;

    // ---- Private notes (NoteStoreSealing.cpp) ----
    // Moving a locked note's content between its clear and
    // sealed forms. Who may see a note, and when it relocks, is the UnlockSession's business. Every
    // operation that seals also saves and then empties the store's write-ahead log, so no plaintext
    // of the note stays in any store file.
public:
    // Locks the note: seals its content, flags it locked and saves. The note is flagged locked even
    // when sealing failed (the failure is returned, and the plaintext kept until the next reseal or
    // launch seals it). Follow it with the unlock session's relock of the note.
    Status<NoteSealing::Error> lock(Note& note);
    // The same when the key to seal with could not be read (`problem`, the keyring's own words): the note
    // is flagged locked and saved with its content kept as it is, for the next reseal or launch to seal.
    Status<NoteSealing::Error> lockWithoutKey(Note& note, const QString& problem);
    // Seals a revealed note back, deletes the pictures its body no longer names, and saves. Does
    // nothing (and saves nothing) unless the note is locked and holds plaintext. `key`, when given, is
    // this machine's sealing key read beforehand (off the main thread), so the keyring is not asked here.
    Status<NoteSealing::Error> reseal(Note& note, const std::optional<QByteArray>& key = std::nullopt);
    // Takes the lock off for good, revealing the content first when it is sealed, and saves. When the
    // content does not open, nothing changes and the failure is returned.
    Status<NoteSealing::Error> removeLock(Note& note);
    // Start-up: seals every locked note left in the clear, binned ones included, and fills empty
    // titles from payloads of older releases.
    void sweepLockedPlaintext();
    // Whether that sweep has anything to do, and so will ask the keyring for the lock keys.
    bool lockedPlaintextLeft();
    // Every locked note, binned ones included: all of them are private.
    QList<Note*> lockedNotes();

private:
    friend class UnlockSession;
    bool hasPlaintextBody(const Note& note);
    // Failures are logged and returned; nothing is saved here.
    Status<NoteSealing::Error> sealPlaintext(Note& note, const std::optional<QByteArray>& key = std::nullopt);
    // Reached by the unlock session once the owner authenticated. Nothing is saved here.
    Status<NoteSealing::Error> revealPlaintext(Note& note);
    // Saves, then moves the log into the database so overwritten content is gone from the files.
    // When either cannot be done now (a full disk, a reader of the log), the log is cleared after the
    // next save that succeeds, and tried again on its own while it waits.
    void saveAndErase();
    void clearLog();
    // The log may still hold a sealed note's words: it waits to be cleared.
    bool m_logToClear = false;
    bool m_clearingLog = false;
    RetrySchedule m_clearRetry{m_clock, this};
    // How a row of an unlocked note is written: its content sealed under the note's key, never in the
    // clear (see ModelContext::StoredForm).
    quint64 storedForm(const ManagedObject& object, QVector<QVariant>& stored) const;
    // Has the keyring checked, in the background, for a key that notes were sealed under without
    // asking it; when the key is gone for good, keyLost() keeps those notes openable.
    void checkKeyKept(const QByteArray& key) const;
    void keyLost(const QByteArray& key);
    // This machine's lock key, read when a note was revealed, by note: what its saves are sealed with
    // while it is unlocked. Held exactly while the note's content is revealed in memory.
    QHash<QUuid, QByteArray> m_revealedKeys;
    // ---- end of private notes ----
};
