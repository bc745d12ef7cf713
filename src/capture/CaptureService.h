#pragma once

#include <QByteArray>
#include <QObject>
#include <QUuid>
#include <functional>
#include <optional>
#include <variant>

#include "capture/CaptureContext.h"
#include "model/Note.h"
#include "platform/Result.h"

class Capture;
class Clock;
class NoteStore;
class SelectionReader;
class Settings;

// Files selected text: into the active note when its window is open, into a new note when asked, or
// as a capture on its own. Keeps one undo record, for the most recent capture. Main thread only.
class CaptureService : public QObject {
    Q_OBJECT
public:
    enum class UnreadableReason {
        tarnwickIsFrontmost,    // no window in front, or our own
        noFocusedElement,       // the desktop does not tell which window is in front (no X display)
        appExposesNoSelection,  // nothing selected, or the owner gave no text in time
        selectionTooLarge,      // the owner offered more text than a capture takes
    };

    // `saved` is false when the store could not write the change: it is held in memory only.
    struct Appended {
        QUuid noteID;
        QUuid captureID;
        Note::TextRange appendedRange;  // inside the text block that received the text
        bool saved = true;
        // A long note still being written in the background: `saved` is false until appendWritten says
        // how it went. A failed write takes the text and the capture row back.
        bool writing = false;
    };
    struct Created {
        QUuid noteID;
        QUuid captureID;
        bool saved = true;
        // A long capture still being written in the background: `saved` is false until
        // newNoteWritten says how it went. A failed write takes the note and its row back.
        bool writing = false;
    };
    struct Captured {
        QUuid captureID;
        bool saved = true;
    };
    struct UnreadableSelection {
        UnreadableReason reason;
    };
    struct EmptySelection {};
    using Result = std::variant<Appended, Created, Captured, UnreadableSelection, EmptySelection>;

    struct UndoRecord {
        std::optional<QUuid> noteID;
        std::optional<QUuid> captureID;
        QString previousBody;
        std::optional<QByteArray> previousBlocksData;
        bool didCreateNote = false;
        // The note's blocks as the append left them: while they still are, the old body comes back
        // whole; once the note changed, only the appended text is taken out again.
        std::optional<QByteArray> appendedBlocksData;
        QUuid appendedBlockID;
        Note::TextRange appendedRange;
        QString appendedText;
        bool appendedNewBlock = false;  // the append made the block, so taking the text out drops it
        // Where the appended text starts in the note's plain body, moved along as the user edits the
        // note around it (typing before it in the same line pushes it on); -1 once an edit reached into it.
        qint64 appendedBodyLocation = -1;
    };

    using IsNoteOpen = std::function<bool(const QUuid&)>;
    // The selected text with its source, or why none could be read.
    using SelectionRead = ::Result<CaptureContext, UnreadableReason>;
    using SelectionProvider = std::function<SelectionRead()>;

    // isNoteOpen answers whether a note's window is open and shown; without one, no note counts as
    // open and captures go to new notes or stand alone. `reader` is the desktop's selection, read for
    // the capture hot key and asked for the source of text handed over.
    CaptureService(NoteStore& store, IsNoteOpen isNoteOpen, Settings& settings, const Clock& clock,
                   SelectionReader& reader, QObject* parent = nullptr);

    Result ingest(const CaptureContext& context, bool asNewNote);
    // False when the last capture stays as it is: its text was edited in the note since, and the
    // user's edit wins. True otherwise, also when there was nothing to undo.
    bool undoLast();
    const std::optional<UndoRecord>& lastCapture() const { return m_lastCapture; }

    // Reads the selection for the capture hot key; by default readSelection() over the service's reader.
    SelectionProvider selectionProvider() const { return m_selectionProvider; }
    void setSelectionProvider(SelectionProvider provider)
    {
        m_selectionProvider = std::move(provider);
        m_providerReadsInBackground = false;
    }
    // Whether selectionProvider() may run on a thread of its own: the service's own reading, over a
    // reader that allows it.
    bool selectionReadsInBackground() const;
    SelectionReader& reader() const { return m_reader; }

    // The selected text of the window in front with its source, or why it cannot be read.
    static SelectionRead readSelection(SelectionReader& reader);

    // "capture.attachSource"; anything but a stored Boolean counts as on.
    bool attachSource() const;
    // A new note's title: the first non-empty line, at most 80 characters, without its outer blanks.
    // Control characters become spaces and bidi embeddings, overrides and isolates are left out, so
    // a title (and the window it names) reads as the text does.
    static QString firstLine(const QString& text);

Q_SIGNALS:
    // The write of a new note that ingest() answered as still writing ended: on disk, or failed and
    // taken back with its capture row (nothing of it is stored later).
    void newNoteWritten(const QUuid& captureID, bool saved);
    // The same for an append that ingest() answered as still writing.
    void appendWritten(const QUuid& captureID, bool saved);

private:
    Result storeAlone(const CaptureContext& context);
    // A new note whose save failed and its capture row leave the context unsaved.
    void takeBack(Note& note, Capture& capture);
    // Inserts the capture row; the caller saves.
    Capture* insertCapture(const CaptureContext& context, const std::optional<QUuid>& noteID);
    bool revertAppend(Note& note, const UndoRecord& record);
    // What an append changed beside the body, and how its write is going.
    struct PendingAppend {
        std::optional<QString> sourceApp;
        std::optional<QUrl> sourceURL;
        QDateTime updatedAt;
        std::optional<bool> saved;
        bool returned = false;
        QMetaObject::Connection connection;
    };
    // An append whose write failed after the note's editor took it in: the text leaves the note where it
    // still stands (the rest of the note as it was, while untouched since) and the row goes, so that
    // neither reaches the disk later. Nothing once the capture was undone.
    void takeBackAppend(const QUuid& captureID, const PendingAppend& before);
    // Follows the body of the note the last capture was appended to, so its undo still finds the text.
    void followAppendedText(Note& note);
    void bodyChanged(const Note& note);
    void stopFollowing();

    NoteStore& m_store;
    IsNoteOpen m_isNoteOpen;
    Settings& m_settings;
    const Clock& m_clock;
    SelectionReader& m_reader;
    bool m_providerReadsInBackground = true;
    SelectionProvider m_selectionProvider;
    std::optional<UndoRecord> m_lastCapture;
    QMetaObject::Connection m_followed;
    QString m_followedBody;  // the body as the last look at it found it
};
