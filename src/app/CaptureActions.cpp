#include "app/CaptureActions.h"

#include <QPointer>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <memory>
#include <utility>

#include "capture/CaptureCapsuleController.h"
#include "capture/HotkeyGlyphs.h"
#include "capture/SourceHarvester.h"
#include "model/Note.h"
#include "model/NoteNotifications.h"
#include "platform/ModelContext.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"

using Action = HotkeyManager::Action;

CaptureActions::CaptureActions(NoteStore& store, CaptureService& capture, CaptureCapsuleController& capsule,
                               Settings& settings, Hooks hooks, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_capture(capture),
      m_capsule(capsule),
      m_settings(settings),
      m_hooks(std::move(hooks)),
      m_sourceRead([](const std::optional<ActiveWindow>& window, QDeadlineTimer deadline) {
          return SourceHarvester::harvest(window, deadline);
      })
{
}

CaptureActions::~CaptureActions()
{
    // The read ends by its own time limit; its answer has nobody to go to. Texts still waiting are
    // dropped: leaving the bus answers their senders with an error.
    if (m_reader) {
        m_reader->wait();
        delete m_reader;
    }
}

QSet<Action> CaptureActions::workingActions() const
{
    QSet<Action> working{Action::capture};
    if (m_hooks.showNote) working.insert(Action::newNote);
    if (m_hooks.toggleHideAll) working.insert(Action::hideAll);
    if (m_hooks.toggleShelf) working.insert(Action::shelf);
    return working;
}

void CaptureActions::dispatch(Action action, quint32 modifiers)
{
    if (questionBroughtForward()) return;
    // A capture announces itself only once it stored something (presentCaptureResult).
    if (action != Action::capture) m_store.notifications().post(tarnwickHotkeyFired, HotkeyManager::rawValue(action));
    switch (action) {
        case Action::newNote:
            handleNewNote();
            break;
        case Action::capture:
            handleCapture(modifiers);
            break;
        case Action::hideAll:
            if (m_hooks.toggleHideAll) m_hooks.toggleHideAll();
            break;
        case Action::shelf:
            if (m_hooks.toggleShelf) m_hooks.toggleShelf();
            break;
    }
}

bool CaptureActions::questionBroughtForward()
{
    // The question blocks every other window of ours, perhaps minimised or under another program's
    // window: a note or the shelf opened behind it would take keys it cannot receive, and leave the
    // question out of sight. The key brings the question back, as the tray icon does.
    return m_hooks.bringQuestionForward && m_hooks.bringQuestionForward();
}

void CaptureActions::handleNewNote()
{
    const Note* note = m_store.createNote().note;
    if (m_hooks.showNote) m_hooks.showNote(note->uuid());
}

void CaptureActions::handleCapture(quint32 modifiers)
{
    if (m_hooks.practiceSelection) {
        const QString practice = m_hooks.practiceSelection();
        if (!practice.isEmpty()) {
            presentCaptureResult(m_capture.ingest(CaptureContext{practice, {}, {}, {}, {}}, false));
            return;
        }
    }
    const bool asNewNote = (modifiers & HotkeyManager::kCommand) != 0;
    const auto provider = m_capture.selectionProvider();
    if (provider && m_capture.selectionReadsInBackground()) {
        // A selection of megabytes takes a while to arrive, and a browser in front a while to show its
        // page: both are read on a thread of its own while the application goes on answering, and
        // filed when they are here. One read at a time: a press during another read is captured when it
        // ends (presses meanwhile are that same capture, of the selection as it is then).
        if (m_reader) {
            m_pendingCapture = modifiers;
            return;
        }
        auto read = std::make_shared<std::optional<CaptureService::SelectionRead>>();
        startRead([provider, read] { *read = provider(); },
                  [this, read, asNewNote] {
                      captureRead(read->value_or(CaptureService::SelectionRead(
                                      CaptureService::UnreadableReason::appExposesNoSelection)),
                                  asNewNote);
                  });
        return;
    }
    captureRead(
        provider ? provider() : CaptureService::SelectionRead(CaptureService::UnreadableReason::appExposesNoSelection),
        asNewNote);
}

void CaptureActions::captureRead(const CaptureService::SelectionRead& context, bool asNewNote)
{
    if (!context) {
        const CaptureService::UnreadableReason reason = context.error();
        presentCaptureResult(CaptureService::UnreadableSelection{reason});
        // No selection can be read in this session at all: say why once, after the hot key's event.
        if (reason == CaptureService::UnreadableReason::noFocusedElement && !m_explainedCapture &&
            m_hooks.explainCapture) {
            m_explainedCapture = true;
            QTimer::singleShot(0, this, [this] {
                if (m_hooks.explainCapture) m_hooks.explainCapture();
            });
        }
        return;
    }
    presentCaptureResult(m_capture.ingest(*context, asNewNote));
}

void CaptureActions::presentCaptureResult(const CaptureService::Result& result)
{
    using Kind = CaptureCapsuleController::Kind;
    QPointer<CaptureActions> self(this);
    // Undo reaches this capture only: once another capture took its place, it does nothing. Text the
    // user edited since stays, and the capsule says the capture stayed rather than closing as if undone.
    const auto undo = [self](const QUuid& captureID) {
        return [self, captureID] {
            if (!self) return;
            const std::optional<CaptureService::UndoRecord>& last = self->m_capture.lastCapture();
            if (!last || last->captureID != captureID) return;
            if (!self->m_capture.undoLast())
                self->m_capsule.show(
                    Kind::warningOf(QStringLiteral("Capture not undone"),
                                    QStringLiteral("The note has changed since; nothing was removed.")),
                    [] {});
        };
    };
    const auto open = [self](const QUuid& captureID) {
        return [self, captureID] {
            if (self && self->m_hooks.openPeek) self->m_hooks.openPeek(captureID);
        };
    };
    const auto nothing = [] {};
    if (const auto* appended = std::get_if<CaptureService::Appended>(&result)) {
        // A long note may still be written in the background: the capsule comes at once, and a write
        // that fails (the text taken back) puts the warning in its place.
        if (appended->writing) {
            auto once = std::make_shared<QMetaObject::Connection>();
            *once = connect(&m_capture, &CaptureService::appendWritten, this,
                            [this, once, captureID = appended->captureID](const QUuid& written, bool saved) {
                                if (written != captureID) return;
                                QObject::disconnect(*once);
                                if (!saved) presentNotSaved();
                            });
        }
        m_store.notifications().post(tarnwickHotkeyFired, QStringLiteral("capture"));
        if (!appended->writing && !appended->saved) return presentNotSaved();
        m_capsule.show(Kind::capturedText(), undo(appended->captureID), open(appended->captureID));
    } else if (const auto* captured = std::get_if<CaptureService::Captured>(&result)) {
        m_store.notifications().post(tarnwickHotkeyFired, QStringLiteral("capture"));
        if (!captured->saved) return presentNotSaved();
        m_capsule.show(Kind::capturedText(), undo(captured->captureID), open(captured->captureID));
    } else if (const auto* created = std::get_if<CaptureService::Created>(&result)) {
        // A long capture may still be written in the background. Its capsule comes at once, as for any
        // other; its window opens once the note is on disk, and a write that fails (the note taken
        // back, as a short capture's would be) puts the warning in the capsule's place instead.
        if (created->writing) {
            auto once = std::make_shared<QMetaObject::Connection>();
            *once = connect(&m_capture, &CaptureService::newNoteWritten, this,
                            [this, once, noteID = created->noteID, captureID = created->captureID](const QUuid& written,
                                                                                                   bool saved) {
                                if (written != captureID) return;
                                QObject::disconnect(*once);
                                if (!saved) return presentNotSaved();
                                // Not from inside whatever waited for the write (a save, a fetch); and
                                // not for a capture undone since.
                                QTimer::singleShot(0, this, [this, noteID] {
                                    const Note* note = m_store.note(noteID);
                                    if (m_hooks.showNote && note && !note->isTrashed()) m_hooks.showNote(noteID);
                                });
                            });
        }
        m_store.notifications().post(tarnwickHotkeyFired, QStringLiteral("capture"));
        if (!created->writing && !created->saved) return presentNotSaved();
        if (m_hooks.showNote && created->saved) m_hooks.showNote(created->noteID);
        m_capsule.show(Kind::capturedText(), undo(created->captureID));
    } else if (const auto* unreadable = std::get_if<CaptureService::UnreadableSelection>(&result)) {
        QString detail;
        switch (unreadable->reason) {
            case CaptureService::UnreadableReason::tarnwickIsFrontmost:
                detail = QStringLiteral("Select text in another app first.");
                break;
            case CaptureService::UnreadableReason::noFocusedElement:
                detail = QStringLiteral("Click into some text, then try again.");
                break;
            case CaptureService::UnreadableReason::appExposesNoSelection:
                detail = QStringLiteral("This app won't share its selection.");
                break;
            case CaptureService::UnreadableReason::selectionTooLarge:
                detail = QStringLiteral("The selection is too large to capture.");
                break;
        }
        m_capsule.show(Kind::warningOf(QStringLiteral("Nothing captured"), detail), nothing);
    } else {
        const HotkeyManager::Shortcut chord = HotkeyManager::storedBinding(Action::capture, m_settings);
        m_capsule.show(Kind::warningOf(QStringLiteral("Nothing selected"),
                                       QStringLiteral("Select some text, then press ") +
                                           HotkeyGlyphs::chord(chord.keyCode, chord.modifiers) + u'.'),
                       nothing);
    }
}

void CaptureActions::presentNotSaved()
{
    // The change is held in memory only: saying "Text captured" would promise what is not on disk.
    m_capsule.show(
        CaptureCapsuleController::Kind::warningOf(QStringLiteral("Capture not saved"),
                                                  QStringLiteral("Tarnwick couldn't write to your notes file.")),
        [] {});
}

void CaptureActions::startRead(std::function<void()> work, std::function<void()> done)
{
    m_reader = QThread::create(std::move(work));
    connect(m_reader, &QThread::finished, this, [this, done = std::move(done)] {
        m_reader->deleteLater();
        m_reader = nullptr;
        done();
        startNext();
    });
    m_reader->start();
}

void CaptureActions::startNext()
{
    if (m_reader) return;
    // Texts first: their callers wait on the bus with a time limit, and their read is bounded by it.
    if (!m_serviceCaptures.isEmpty()) return startServiceCapture();
    // A press kept for after the read is a press now: a question asked meanwhile comes first.
    if (const std::optional<quint32> pressed = std::exchange(m_pendingCapture, std::nullopt))
        if (!questionBroughtForward()) handleCapture(*pressed);
}

namespace {
// The same window as far as a capture tells: its page is read once for every text that came with it
// in front. (Moved or resized, it still shows the same page.)
bool sameWindow(const std::optional<ActiveWindow>& a, const std::optional<ActiveWindow>& b)
{
    if (!a || !b) return !a && !b;
    return a->pid == b->pid && a->instanceName == b->instanceName && a->className == b->className &&
           a->title == b->title;
}
}  // namespace

void CaptureActions::handleServiceCapture(const QString& text, ServiceReply reply)
{
    if (text.trimmed().isEmpty()) return reply(std::nullopt);
    if (!m_capture.reader().readsInBackground()) {
        fileServiceCapture(text, SourceHarvester::harvest(m_capture.reader()), reply);
        return;
    }
    // The text comes from the window in front now, whatever a read under way is busy with: which window
    // that is, its name and its title are a few X properties, read here. Only a browser's address needs
    // the browser, which may be slow to show its page: that is read on a thread of its own, after any
    // read under way (the reader takes one at a time), texts in the order they came. The caller's time
    // counts from now, however long it waits.
    m_serviceCaptures.append(
        {text, std::move(reply), QDeadlineTimer(SourceHarvester::kBudgetMs), m_capture.reader().activeWindow(), {}});
    startServiceCapture();
}

void CaptureActions::startServiceCapture()
{
    if (m_reader || m_serviceCaptures.isEmpty()) return;
    // The earliest text bounds the read: one that waited behind another read gets what is left of its
    // time, not a fresh budget, so no caller waits much past the bound from its arrival.
    const ServiceCapture& first = m_serviceCaptures.first();
    const std::optional<ActiveWindow> window = first.window;
    const QDeadlineTimer deadline = first.deadline;
    auto source = std::make_shared<SourceHarvester::Source>();
    startRead([read = m_sourceRead, window, deadline, source] { *source = read(window, deadline); },
              [this, window, source] {
                  // Every text waiting that came with this window in front shares what was read of it,
                  // rather than each reading the window again after the one before. Texts are filed, one
                  // row each, in the order they came: those behind a text from another window wait for
                  // that window's read (startNext starts it).
                  for (ServiceCapture& waiting : m_serviceCaptures)
                      if (!waiting.source && sameWindow(waiting.window, window)) waiting.source = *source;
                  while (!m_serviceCaptures.isEmpty() && m_serviceCaptures.first().source) {
                      const ServiceCapture next = m_serviceCaptures.takeFirst();
                      fileServiceCapture(next.text, *next.source, next.reply);
                  }
              });
}

void CaptureActions::fileServiceCapture(const QString& text, const SourceHarvester::Source& source,
                                        const ServiceReply& reply)
{
    const CaptureService::Result result =
        m_capture.ingest(CaptureContext{text, source.app, source.bundleID, source.url, source.title}, false);
    presentCaptureResult(result);
    const auto* appended = std::get_if<CaptureService::Appended>(&result);
    if (!appended || !appended->writing) return reply(result);
    // Into a long note written in the background: the caller hears "appended" once it is on disk.
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(&m_capture, &CaptureService::appendWritten, this,
                    [once, reply, done = *appended](const QUuid& written, bool saved) mutable {
                        if (written != done.captureID) return;
                        QObject::disconnect(*once);
                        done.saved = saved;
                        done.writing = false;
                        reply(done);
                    });
}
